#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// The monitoring cycle's position and activity, and its two timers. At most
// one of the timers runs at a time; each stops itself when it fires.
class TMonitorCycle : public QObject {
    Q_OBJECT
public:
    explicit TMonitorCycle(QObject* parent = nullptr);

    int cycleBusy = 0;
    int currentRow = 0;
    int packetCount = 0;
    int loopCount = 0;
    bool applyPending = false;

    QTimer TimerInterSite;
    QTimer TimerInterPacket;

    void SetIntervals(int interPacketMs, int interSiteSecs);
    void StopTimers();
    // Between devices again: the next device follows one inter-site delay later.
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
    void deviceStep();
    void packetStep();
};
