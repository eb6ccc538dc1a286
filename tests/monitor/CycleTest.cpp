#include "devices/DeviceGrid.h"
#include "monitor/MonitorCycle.h"

#include <QSignalSpy>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// A cycle over a grid whose echoes answer from a script (round-trip time, or
// -1 for no answer); records what the cycle told its host.
struct CycleFixture : ::testing::Test {
    TDeviceGrid grid;
    TMonitorCycle cycle{&grid};
    std::mutex m;
    std::deque<int> script;
    QStringList activity, log, evaluated;
    int packets = 2;
    int deferredRuns = 0;

    void SetUp() override {
        addRow("10.0.0.1", "first");
        TMonitorCycle::Host h;
        h.pingTimeOut = [] { return 1; };
        h.packetsPerSite = [this] { return packets; };
        h.verbose = [] { return true; };
        h.closePending = [] { return false; };
        h.setActivity = [this](const QString& s) { activity << s; };
        h.appendLog = [this](const QString& s) { log << s; };
        h.evaluate = [this](int row, bool ok, const QDateTime&) {
            evaluated << QString("%1:%2").arg(row).arg(ok ? "ok" : "fail");
        };
        h.runDeferred = [this] { ++deferredRuns; };
        cycle.SetHost(h);
        cycle.SetEcho([this](const QString& address, int) {
            std::lock_guard lock(m);
            TEchoResult r;
            const int rtt = script.empty() ? -1 : script.front();
            if (!script.empty())
                script.pop_front();
            r.replied = rtt >= 0;
            r.roundTripTime = quint32(std::max(rtt, 0));
            r.replyText = r.replied ? "Reply from " + address : QString();
            r.messages = r.replied ? QStringList{} : QStringList{"Request timed out."};
            return r;
        });
        cycle.SetIntervals(100, 1);
    }
    void addRow(const QString& address, const QString& location) {
        std::array<QString, Col::Count> cells;
        cells[0] = address;
        cells[1] = location;
        grid.AppendRow(cells);
    }
    // One device step and all its packet steps, run without the timers.
    void visitDevice() {
        cycle.TimerInterSiteTimer();
        for (;;) {
            ASSERT_TRUE(cycle.TimerInterPacket().isActive());
            cycle.StopTimers();
            QSignalSpy done(&cycle, &TMonitorCycle::packetDone);
            cycle.TimerInterPacketTimer();
            EXPECT_TRUE(cycle.Busy());
            ASSERT_TRUE(done.wait(5000));
            if (!cycle.Busy())
                break;
        }
        EXPECT_TRUE(cycle.TimerInterSite().isActive());
        cycle.StopTimers();
    }
    QString cell(int c) const { return grid.Cell(1, c); }
};

TEST_F(CycleFixture, StatisticsOfThreeReplies) {
    packets = 3;
    script = {10, 20, 25};
    visitDevice();
    EXPECT_EQ(cell(Col::PktsSent), "3");
    EXPECT_EQ(cell(Col::PktsRecd), "3");
    EXPECT_EQ(cell(Col::MinResp), "10");
    EXPECT_EQ(cell(Col::AvgResp), "18"); // 55 / 3, truncated
    EXPECT_EQ(cell(Col::MaxResp), "25");
    EXPECT_EQ(cell(Col::RespTotal), "55");
    EXPECT_EQ(cell(Col::PercentOk), "100");
    EXPECT_EQ(activity, (QStringList{"Pinging: first => 1", "Pinging: first => 2",
                                     "Pinging: first => 3", "Idle"}));
    EXPECT_EQ(log,
              (QStringList{"Reply from 10.0.0.1", "Reply from 10.0.0.1", "Reply from 10.0.0.1"}));
    EXPECT_EQ(deferredRuns, 1);
}

TEST_F(CycleFixture, AFailedEchoIsRetriedAtOnceAndTheRetryCounts) {
    script = {5, -1, 7}; // packet 1 answers; packet 2 fails, its retry answers
    visitDevice();
    EXPECT_EQ(cell(Col::PktsSent), "3");
    EXPECT_EQ(cell(Col::PktsRecd), "2");
    EXPECT_EQ(cell(Col::PercentOk), "66");
    EXPECT_EQ(evaluated, (QStringList{"1:ok", "1:ok"}));
}

TEST_F(CycleFixture, ASilentHostCostsFourEchoesPerPass) {
    visitDevice();
    EXPECT_EQ(cell(Col::PktsSent), "4");
    EXPECT_EQ(cell(Col::PercentOk), "0");
    EXPECT_EQ(cell(Col::PktsRecd), "");
    EXPECT_EQ(cell(Col::MinResp), "");
    EXPECT_EQ(cell(Col::AvgResp), "");
    EXPECT_EQ(evaluated, (QStringList{"1:fail", "1:fail"}));
    EXPECT_EQ(log.count("Request timed out."), 4);
    visitDevice();
    EXPECT_EQ(cell(Col::PktsSent), "8");
}

TEST_F(CycleFixture, PassesAreCountedWhenTheRowWraps) {
    packets = 1;
    script = {1, 1, 1};
    visitDevice();
    EXPECT_EQ(cycle.CurrentRow(), 1);
    EXPECT_EQ(cycle.LoopCount(), 0); // the first pass is still running
    visitDevice();
    EXPECT_EQ(cycle.LoopCount(), 1); // one row: every later step wraps
    visitDevice();
    EXPECT_EQ(cycle.LoopCount(), 2);
    // The count a wrap gives, at the top of its range, where no test can
    // walk the cycle to.
    EXPECT_EQ(NextLoopCount(2147483647), 1);
    EXPECT_EQ(NextLoopCount(2147483646), 2147483647);
}

TEST_F(CycleFixture, AnEmptyGridProbesNothing) {
    grid.SetGridHeader();
    cycle.TimerInterSiteTimer();
    cycle.StopTimers();
    cycle.TimerInterPacketTimer();
    EXPECT_FALSE(cycle.Busy());
    EXPECT_TRUE(evaluated.isEmpty());
    EXPECT_TRUE(cycle.TimerInterSite().isActive());
}

TEST_F(CycleFixture, NonNumericCellsDoNotStopTheCount) {
    packets = 1;
    grid.SetCell(1, Col::PktsSent, "abc");
    grid.SetCell(1, Col::PktsRecd, "x");
    script = {4};
    visitDevice();
    EXPECT_EQ(cell(Col::PktsSent), "1");
    EXPECT_EQ(cell(Col::PktsRecd), "1");
}

} // namespace
