#include "icmp/PingPageEngine.h"

#include "icmp/Pinger.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "platform/SettingsFile.h"
#include "platform/TextRules.h"

#include <utility>

namespace {

const QString kListSection = QStringLiteral("PingPageQueryList");
const QString kListPrefix = QStringLiteral("Q-");

} // namespace

int PingTimeOutSeconds(const QString& text) {
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    return ok ? qBound(1, seconds, 60) : 5;
}

QStringList ReadPingList(const TIniFile& ini) {
    return ReadListSection(ini, kListSection);
}

void WritePingList(TIniFile& ini, const QStringList& list) {
    ini.Update([&] { ini.ReplaceSection(kListSection, NumberedEntries(kListPrefix, list)); });
}

TPingPageEngine::TPingPageEngine(std::function<TIniFile&()> s, QObject* parent)
    : QObject(parent), settings(std::move(s)), pagePinger(std::make_shared<TPinger>()),
      output(new TLogModel(this)) {
    output->setObjectName(QStringLiteral("PingPageOutput"));
    TimerPing.setObjectName(QStringLiteral("TimerPing"));
    TimerPing.setParent(this);
    TimerPing.setInterval(800);
    TimerPing.setSingleShot(true);
    connect(&TimerPing, &QTimer::timeout, this, &TPingPageEngine::TimerPingTimer);
}

TPingPageEngine::~TPingPageEngine() {
    // A worker still probing ends within its time-out on its own share of
    // the pinger; it only loses its receiver here.
    if (worker)
        disconnect(worker, nullptr, this, nullptr);
}

void TPingPageEngine::LoadList(const TIniFile& ini) {
    list = ReadPingList(ini);
    emit ListChanged();
}

TPingInputs TPingPageEngine::read() const {
    return inputs ? inputs() : TPingInputs{};
}

void TPingPageEngine::write(const QString& line) {
    if (runFlag == 1)
        output->Append(line);
}

void TPingPageEngine::ButtonPingPageClick() {
    const TPingInputs in = read();
    if (in.target.isEmpty()) {
        emit CaptionChanged(QStringLiteral("Ping"));
        if (in.clearDisplay)
            output->Clear();
        output->Append(QStringLiteral("Nothing to Ping !"));
        return;
    }
    if (runFlag == 1) {
        runFlag = 0;
        emit CaptionChanged(QStringLiteral("Ping"));
        // Between two probes there is no current one to wait for.
        if (!busy && TimerPing.isActive()) {
            TimerPing.stop();
            endRun();
        }
        return;
    }
    runFlag = 1;
    ++runId;
    probeWaiting = false;
    emit CaptionChanged(QStringLiteral("Stop"));
    if (in.clearDisplay)
        output->Clear();
    hopNumber = 1;
    packetCount = 0;
    TimerPing.start();
    // Last, so that a list that cannot be saved leaves the run going.
    if (AddToRecentList(list, in.target, kPingHistoryLimit)) {
        emit ListChanged();
        WritePingList(settings(), list);
    }
}

void TPingPageEngine::TimerPingTimer() {
    TimerPing.stop();
    // The pinger serves one worker at a time: a run started after Stop
    // waits for the stopped run's probe to end.
    if (busy) {
        probeWaiting = true;
        return;
    }
    startProbe();
}

void TPingPageEngine::startProbe() {
    const TPingInputs in = read();
    targetText = in.target;
    busy = true;
    const TPingProbeParams params{targetText, PingTimeOutSeconds(in.timeOutText), hopNumber};
    const bool trace = in.traceRoute;
    TPingWorker* w = trace
                         ? static_cast<TPingWorker*>(new TTraceThread(pagePinger, params, wrapper))
                         : new TPingThread2(pagePinger, params, wrapper);
    w->setObjectName(trace ? QStringLiteral("TTraceThread") : QStringLiteral("TPingThread2"));
    const quint64 run = runId;
    std::shared_ptr<TPingProbeResult> result = w->Result();
    connect(w, &QThread::finished, this,
            [this, result, run, trace] { probeFinished(*result, run, trace); });
    worker = w;
    emit ProbeStarted();
    w->start();
}

void TPingPageEngine::probeFinished(const TPingProbeResult& result, quint64 run, bool trace) {
    busy = false;
    worker = nullptr;
    emit ProbeFinished();
    if (run != runId) {
        // The stopped run's last probe: its lines are not written, and the
        // run started meanwhile may now probe.
        if (probeWaiting) {
            probeWaiting = false;
            if (runFlag == 1)
                startProbe();
            else
                endRun();
        }
        return;
    }
    for (const QString& line : result.lines)
        write(line);
    bool goOn = false;
    if (trace) {
        const int h = hopNumber;
        ++hopNumber;
        goOn = runFlag == 1 && h + 1 <= TPinger::MaxHops && !result.unresolved &&
               result.lastAnswer.trimmed() != targetText.trimmed();
    } else {
        ++packetCount;
        goOn = runFlag == 1 && packetCount < read().packets;
    }
    if (goOn)
        TimerPing.start();
    else
        endRun();
}

void TPingPageEngine::endRun() {
    runFlag = 0;
    emit CaptionChanged(QStringLiteral("Ping"));
    emit RunEnded();
}
