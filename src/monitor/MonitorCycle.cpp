#include "MonitorCycle.h"

#include "devices/DeviceGrid.h"
#include "icmp/Pinger.h"
#include "platform/Clock.h"

#include <QPointer>
#include <QThread>
#include <limits>
#include <utility>

namespace {

// 32-bit arithmetic that wraps instead of overflowing.
qint32 add32(qint32 a, qint32 b) {
    return qint32(quint32(a) + quint32(b));
}
qint32 mul32(qint32 a, qint32 b) {
    return qint32(quint32(a) * quint32(b));
}
qint32 cellValue(const QString& text) {
    return text.toInt();
} // not a number: 0

} // namespace

TMonitorCycle::TMonitorCycle(TDeviceGrid* g, QObject* parent)
    : QObject(parent), grid(g), monitorPinger(std::make_shared<TPinger>()) {
    interSiteTimer.setObjectName(QStringLiteral("TimerInterSite"));
    interPacketTimer.setObjectName(QStringLiteral("TimerInterPacket"));
    interSiteTimer.setSingleShot(true);
    interPacketTimer.setSingleShot(true);
    connect(&interSiteTimer, &QTimer::timeout, this, &TMonitorCycle::TimerInterSiteTimer);
    connect(&interPacketTimer, &QTimer::timeout, this, &TMonitorCycle::TimerInterPacketTimer);
    std::weak_ptr<TPinger> weak = monitorPinger;
    echo = [weak](const QString& address, int timeOut) {
        TEchoResult r;
        auto pinger = weak.lock();
        if (!pinger)
            return r;
        pinger->Host = address;
        pinger->TimeOut = timeOut;
        pinger->Echo();
        r.replied = pinger->Replied;
        r.roundTripTime = pinger->RoundTripTime;
        r.replyText = pinger->ReplyText;
        r.messages = pinger->Messages;
        return r;
    };
}

TMonitorCycle::~TMonitorCycle() = default;

int NextLoopCount(int loopCount) {
    return loopCount == std::numeric_limits<int>::max() ? 1 : loopCount + 1;
}

void TMonitorCycle::Reset() {
    if (busy)
        return;
    currentRow = 0;
    packetCount = 0;
    loopCount = 0;
}

void TMonitorCycle::RestartAt(int row) {
    if (busy)
        return;
    currentRow = row;
    packetCount = 0;
}

bool TMonitorCycle::TakeApplyPending() {
    return std::exchange(applyPending, false);
}

void TMonitorCycle::SetIntervals(int interPacketMs, int interSiteSecs) {
    interPacketTimer.setInterval(interPacketMs);
    interSiteTimer.setInterval(interSiteSecs * 1000);
}

void TMonitorCycle::StopTimers() {
    interSiteTimer.stop();
    interPacketTimer.stop();
}

void TMonitorCycle::ResumeBetweenDevices() {
    interPacketTimer.stop();
    interSiteTimer.start();
}

void TMonitorCycle::Apply(const std::function<void()>& save,
                          const std::function<std::pair<int, int>()>& intervals) {
    if (busy) {
        applyPending = true;
        return;
    }
    StopTimers();
    auto restart = [&] {
        if (currentRow > 1)
            --currentRow;
        const auto [packetMs, siteSecs] = intervals();
        SetIntervals(packetMs, siteSecs);
        interSiteTimer.start();
    };
    try {
        save();
    } catch (...) {
        restart();
        throw;
    }
    restart();
}

void TMonitorCycle::TimerInterSiteTimer() {
    // The row never moves under a device being probed.
    if (busy)
        return;
    if (host.closePending && host.closePending()) {
        StopTimers();
        if (host.setActivity)
            host.setActivity(QStringLiteral("Idle"));
        busy = false;
        return;
    }
    const int last = grid->RowCount() - 1;
    ++currentRow;
    // Repaint the row that loses the active-row marker.
    if (currentRow > last)
        grid->RepaintCell(last, 0);
    else if (currentRow - 1 >= 1)
        grid->RepaintCell(currentRow - 1, 0);
    if (currentRow < 1 || currentRow > last) {
        currentRow = 1;
        loopCount = NextLoopCount(loopCount);
    }
    grid->RepaintCell(currentRow, 0);
    packetCount = 0;
    interSiteTimer.stop();
    interPacketTimer.start();
}

void TMonitorCycle::TimerInterPacketTimer() {
    interPacketTimer.stop();
    // One probe at a time on the pinger, whatever fired this.
    if (echoPending)
        return;
    if (host.setActivity)
        host.setActivity(QStringLiteral("Pinging: ") + grid->Cell(currentRow, 1) +
                         QStringLiteral(" => ") + QString::number(packetCount + 1));
    busy = true;
    if (currentRow < 1 || currentRow >= grid->RowCount()) {
        // No device in this row (an empty grid): nothing to probe.
        endOfDevice();
        return;
    }
    probeAddress = grid->Cell(currentRow, 0);
    retried = false;
    startEcho();
}

void TMonitorCycle::startEcho() {
    echoPending = true;
    const QString address = probeAddress;
    const int timeOut = host.pingTimeOut ? host.pingTimeOut() : 2;
    auto result = std::make_shared<TEchoResult>();
    EchoFunction f = echo;
    QThread* worker =
        QThread::create([f, address, timeOut, result] { *result = f(address, timeOut); });
    worker->setObjectName(QStringLiteral("TPingThread"));
    QPointer<TMonitorCycle> self(this);
    connect(worker, &QThread::finished, this, [self, result] {
        if (self)
            self->echoFinished(*result);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    // Normal priority: an idle-class thread measures its wait for a free
    // CPU along with the round trip.
    worker->start(QThread::InheritPriority);
}

void TMonitorCycle::RecordEchoResult(int row, const TEchoResult& r) {
    echoSucceeded = false;
    auto cell = [&](int c) { return grid->Cell(row, c); };
    auto set = [&](int c, qint32 v) { grid->SetCell(row, c, QString::number(v)); };
    const qint32 rtt = qint32(r.roundTripTime);
    set(Col::PktsSent,
        cell(Col::PktsSent).isEmpty() ? 1 : add32(cellValue(cell(Col::PktsSent)), 1));
    if (r.replied) {
        echoSucceeded = true;
        set(Col::PktsRecd,
            cell(Col::PktsRecd).isEmpty() ? 1 : add32(cellValue(cell(Col::PktsRecd)), 1));
        set(Col::RespTotal,
            cell(Col::RespTotal).isEmpty() ? rtt : add32(cellValue(cell(Col::RespTotal)), rtt));
        if (cell(Col::MinResp).isEmpty() || rtt < cellValue(cell(Col::MinResp)))
            set(Col::MinResp, rtt);
        const qint32 recd = cellValue(cell(Col::PktsRecd));
        if (recd != 0)
            set(Col::AvgResp, cellValue(cell(Col::RespTotal)) / recd);
        if (cell(Col::MaxResp).isEmpty() || rtt > cellValue(cell(Col::MaxResp)))
            set(Col::MaxResp, rtt);
        if (host.verbose && host.verbose() && !r.replyText.isEmpty() && host.appendLog)
            host.appendLog(r.replyText);
    } else if (host.verbose && host.verbose() && host.appendLog) {
        for (const QString& line : r.messages)
            host.appendLog(line);
    }
    if (host.echoRecorded)
        host.echoRecorded(row, r, Clock().now());
    const qint32 sent = cellValue(cell(Col::PktsSent));
    if (cell(Col::PktsRecd).isEmpty() || sent == 0)
        set(Col::PercentOk, 0);
    else
        set(Col::PercentOk, mul32(cellValue(cell(Col::PktsRecd)), 100) / sent);
}

void TMonitorCycle::echoFinished(const TEchoResult& r) {
    // The row cannot have moved: every command that reorders rows waits for
    // the end of the device.
    RecordEchoResult(currentRow, r);
    emit echoRecorded(currentRow, r.replied, r.roundTripTime);
    echoPending = false;
    if (!echoSucceeded && !retried) {
        retried = true; // an unanswered echo is retried at once
        startEcho();
        return;
    }
    const QDateTime now = Clock().now();
    if (host.evaluate)
        host.evaluate(currentRow, echoSucceeded, now);
    ++packetCount;
    const int perSite = host.packetsPerSite ? host.packetsPerSite() : 1;
    if (packetCount < perSite && !(host.closePending && host.closePending())) {
        interPacketTimer.start();
        emit packetDone();
        return;
    }
    endOfDevice();
}

void TMonitorCycle::endOfDevice() {
    if (host.setActivity)
        host.setActivity(QStringLiteral("Idle"));
    busy = false;
    if (host.runDeferred)
        host.runDeferred();
    interSiteTimer.start();
    emit packetDone();
}
