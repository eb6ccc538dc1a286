#pragma once

#include "monitor/MonitorCycle.h"

#include <QSemaphore>
#include <gtest/gtest.h>
#include <memory>

// The monitoring cycle moved the way the running program moves it: device
// steps called by hand in place of TimerInterSite, and an echo that keeps
// a device busy until the test lets it answer.

// One device step with the packet timer it starts stopped again: the cycle
// moves on one row, wrapping and counting a pass after the last, and probes
// nothing.
inline void StepToNextDevice(TMonitorCycle& cycle) {
    cycle.TimerInterSiteTimer();
    cycle.StopTimers();
}

// Device steps from a fresh start until the cycle has counted `loops` passes
// and stands on `row`. Row 0 after a pass (what a sort of an empty grid
// leaves) is reached through RestartAt, as the sort reaches it.
inline void WalkCycleTo(TMonitorCycle& cycle, int loops, int row) {
    cycle.StopTimers();
    cycle.Reset();
    const int stepTo = row < 1 && loops > 0 ? 1 : row;
    for (int steps = 0; cycle.LoopCount() != loops || cycle.CurrentRow() != stepTo; ++steps) {
        ASSERT_LT(steps, 10000) << "row " << stepTo << " after " << loops << " passes";
        StepToNextDevice(cycle);
    }
    if (stepTo != row)
        cycle.RestartAt(row);
}

// An echo that answers only once Open() is called; until then the cycle is
// busy on its device. It opens when it goes, so that a failed check still
// lets the worker end.
class TEchoGate {
public:
    TEchoGate() = default;
    TEchoGate(const TEchoGate&) = delete;
    TEchoGate& operator=(const TEchoGate&) = delete;
    ~TEchoGate() { Open(); }

    TMonitorCycle::EchoFunction Echo() const {
        return [s = gate](const QString&, int) {
            s->acquire();
            TEchoResult r;
            r.replied = true;
            r.roundTripTime = 1;
            return r;
        };
    }
    // Every echo from now on answers at once.
    void Open() { gate->release(1 << 20); }

private:
    std::shared_ptr<QSemaphore> gate = std::make_shared<QSemaphore>();
};
