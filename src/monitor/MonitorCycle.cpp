#include "MonitorCycle.h"

TMonitorCycle::TMonitorCycle(QObject* parent) : QObject(parent) {
    TimerInterSite.setObjectName(QStringLiteral("TimerInterSite"));
    TimerInterPacket.setObjectName(QStringLiteral("TimerInterPacket"));
    TimerInterSite.setSingleShot(true);
    TimerInterPacket.setSingleShot(true);
    connect(&TimerInterSite, &QTimer::timeout, this, &TMonitorCycle::deviceStep);
    connect(&TimerInterPacket, &QTimer::timeout, this, &TMonitorCycle::packetStep);
}

void TMonitorCycle::SetIntervals(int interPacketMs, int interSiteSecs) {
    TimerInterPacket.setInterval(interPacketMs);
    TimerInterSite.setInterval(interSiteSecs * 1000);
}

void TMonitorCycle::StopTimers() {
    TimerInterSite.stop();
    TimerInterPacket.stop();
}

void TMonitorCycle::ResumeBetweenDevices() {
    TimerInterPacket.stop();
    TimerInterSite.start();
}

void TMonitorCycle::Apply(const std::function<void()>& save,
                          const std::function<std::pair<int, int>()>& intervals) {
    if (cycleBusy) {
        applyPending = true;
        return;
    }
    StopTimers();
    auto restart = [&] {
        if (currentRow > 1)
            --currentRow;
        const auto [packetMs, siteSecs] = intervals();
        SetIntervals(packetMs, siteSecs);
        TimerInterSite.start();
    };
    try {
        save();
    } catch (...) {
        restart();
        throw;
    }
    restart();
}
