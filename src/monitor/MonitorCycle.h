#pragma once

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

class TDeviceGrid;
class TPinger;

// The outcome of one monitoring echo, as the pinger left it.
struct TEchoResult {
    bool replied = false;
    quint32 roundTripTime = 0;
    QString replyText;
    QStringList messages;
};

// The endless walk over the device grid: one device step per inter-site
// delay, then one packet step per inter-packet delay until the device's
// packets are sent. Each echo runs on a short-lived worker thread; its result
// is folded into the row here, on the GUI thread, before the next step.
class TMonitorCycle : public QObject {
    Q_OBJECT
public:
    // Everything the cycle needs from the session, read at the moment of use.
    struct Host {
        std::function<int()> pingTimeOut; // seconds
        std::function<int()> packetsPerSite;
        std::function<bool()> verbose;
        std::function<bool()> closePending;
        std::function<void(const QString&)> setActivity; // status panel 1
        std::function<void(const QString&)> appendLog;
        // Transition rules for the row after a packet, with the instant read
        // after the echo.
        std::function<void(int row, bool succeeded, const QDateTime& t)> evaluate;
        // The requests deferred while the device was probed, in their order.
        std::function<void()> runDeferred;
        // Told of every echo folded into a row, retries included, so that a
        // listener counts what "Pkts Sent" counts.
        std::function<void(int row, const TEchoResult& r, const QDateTime& t)> echoRecorded;
    };
    using EchoFunction = std::function<TEchoResult(const QString& address, int timeOutSecs)>;

    explicit TMonitorCycle(TDeviceGrid* grid, QObject* parent = nullptr);
    ~TMonitorCycle() override;

    void SetHost(Host h) { host = std::move(h); }
    // Replaces the real pinger (tests); called on the worker thread.
    void SetEcho(EchoFunction f) { echo = std::move(f); }

    // Where the cycle stands. Only the cycle writes it; Reset and RestartAt
    // are the ways others may move it.
    // The busy state: a device's packet steps are in progress.
    bool Busy() const { return busy; }
    // The device row being or last probed; 0 before the first step.
    int CurrentRow() const { return currentRow; }
    // Packet steps done for the current device in this visit.
    int PacketCount() const { return packetCount; }
    // Completed passes over the grid.
    int LoopCount() const { return loopCount; }
    // A fresh start (start-up, a new monitor): the next device step probes
    // row 1 and no pass is counted yet.
    void Reset();
    // `row` becomes the device last visited, with no packets counted: the
    // next device step goes to the row after it. Between devices only, so
    // the row never moves under a probe.
    void RestartAt(int row);
    // Apply was pressed during a probe; it runs at the end of the device.
    bool ApplyPending() const { return applyPending; }
    // True once for a deferred Apply, which the caller then carries out.
    bool TakeApplyPending();

    const QTimer& TimerInterSite() const { return interSiteTimer; }
    const QTimer& TimerInterPacket() const { return interPacketTimer; }

    void TimerInterSiteTimer();
    void TimerInterPacketTimer();

    void SetIntervals(int interPacketMs, int interSiteSecs);
    void StopTimers();
    void ResumeBetweenDevices();

    // Apply of the monitor settings: deferred while a device is probed;
    // otherwise the cycle stops, `save` runs, the row steps back one so the
    // next device step resumes at the same device, and the cycle restarts
    // with the new intervals. The cycle restarts even when `save` throws, so
    // a failed write never leaves monitoring stopped; the error goes on to
    // the caller.
    void Apply(const std::function<void()>& save,
               const std::function<std::pair<int, int>()>& intervals);

signals:
    // A packet step has finished (tests wait for it).
    void packetDone();
    // One echo, retries included, has been folded into row `row`.
    void echoRecorded(int row, bool replied, quint32 roundTripTime);

private:
    // Folds one echo result into row `row`'s statistics (32-bit arithmetic,
    // truncating divisions) and writes the verbose lines.
    void RecordEchoResult(int row, const TEchoResult& r);
    void startEcho();
    void echoFinished(const TEchoResult& r);
    void endOfDevice();

    TDeviceGrid* grid;
    Host host;
    EchoFunction echo;
    std::shared_ptr<TPinger> monitorPinger;
    QTimer interSiteTimer;
    QTimer interPacketTimer;
    bool busy = false;
    int currentRow = 0;
    int packetCount = 0;
    int loopCount = 0;
    bool applyPending = false;
    bool echoPending = false;
    bool echoSucceeded = false;
    bool retried = false;
    QString probeAddress;
};

// The pass count after a wrap. It never overflows: 2147483647 is followed
// by 1.
int NextLoopCount(int loopCount);
