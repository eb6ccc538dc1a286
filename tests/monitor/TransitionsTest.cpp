#include "monitor/Transitions.h"
#include "devices/DeviceGrid.h"
#include "platform/ClockTexts.h"

#include <gtest/gtest.h>

namespace {

const QDateTime t0(QDate(2026, 3, 12), QTime(10, 22, 11));

struct Device {
    TDeviceGrid grid;
    explicit Device(const QString& critical = "Yes", const QString& status = "") {
        std::array<QString, Col::Count> cells;
        cells[Col::Address] = "10.0.0.1";
        cells[Col::Location] = "Main office";
        cells[Col::Critical] = critical;
        cells[Col::Status] = status;
        grid.AppendRow(cells);
    }
};

// One echo outcome at a number of seconds after t0, and what the policy
// must queue for it ("" for nothing, else "DOWN@secs" / "Up@secs" naming the
// moment whose clock text the alert carries).
struct Step {
    bool ok;
    int atSecs;
    QString expect;
};

struct PolicyCase {
    const char* name;
    int mode;
    QString critical;
    int delay;
    bool notifyOnUp;
    QString startStatus;
    std::vector<Step> steps;
};

class PolicyTable : public ::testing::TestWithParam<PolicyCase> {};

TEST_P(PolicyTable, QueuesExactlyTheExpectedAlerts) {
    const PolicyCase& c = GetParam();
    Device d(c.critical, c.startStatus);
    const TNotifyPolicy policy{c.mode, c.delay, c.notifyOnUp};
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step& s = c.steps[i];
        const QDateTime t = t0.addSecs(s.atSecs);
        const auto r = EvaluateTransition(d.grid, 1, s.ok, t, ClockText(t), policy);
        QString got;
        if (!r.alerts.empty()) {
            ASSERT_EQ(r.alerts.size(), 1u);
            EXPECT_EQ(r.alerts[0].address, "10.0.0.1");
            EXPECT_EQ(r.alerts[0].location, "Main office");
            // Name the alert by its word and the moment its time text shows.
            got = r.alerts[0].transition + "@?";
            for (int secs = 0; secs <= s.atSecs; ++secs)
                if (r.alerts[0].time == ClockText(t0.addSecs(secs)))
                    got = r.alerts[0].transition + "@" + QString::number(secs);
        }
        EXPECT_EQ(got, s.expect) << c.name << ", step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Policy, PolicyTable,
    ::testing::Values(
        PolicyCase{"critical-only skips a non-critical device",
                   1,
                   "No",
                   0,
                   true,
                   "",
                   {{false, 0, ""}, {true, 10, ""}}},
        PolicyCase{"the comparison with Yes is exact", 1, "yes", 0, true, "", {{false, 0, ""}}},
        PolicyCase{"no sites", 0, "Yes", 0, true, "Up", {{false, 0, ""}}},
        PolicyCase{"all sites, no delay, no Up notice",
                   2,
                   "No",
                   0,
                   false,
                   "Up",
                   {{false, 0, "DOWN@0"}, {true, 5, ""}}},
        PolicyCase{"first answer is never mailed",
                   2,
                   "Yes",
                   0,
                   true,
                   "",
                   {{true, 0, ""}, {false, 3, "DOWN@3"}, {true, 6, "Up@6"}}},
        PolicyCase{"first failure notifies", 1, "Yes", 0, false, "", {{false, 0, "DOWN@0"}}},
        PolicyCase{"down two minutes within a 300 s delay: nothing",
                   2,
                   "Yes",
                   300,
                   false,
                   "Up",
                   {{false, 0, ""}, {false, 60, ""}, {true, 120, ""}, {true, 600, ""}}},
        PolicyCase{"down ten minutes: alert after the delay with the change's time",
                   2,
                   "Yes",
                   300,
                   false,
                   "Up",
                   {{false, 0, ""},
                    {false, 200, ""},
                    {false, 300, ""},
                    {false, 301, "DOWN@0"},
                    {false, 400, ""}}},
        PolicyCase{"Up follows after the delay; a relapse cancels it",
                   2,
                   "Yes",
                   300,
                   true,
                   "Up",
                   {{false, 0, ""},
                    {false, 310, "DOWN@0"},
                    {true, 400, ""},
                    {true, 701, "Up@400"},
                    {false, 800, ""},
                    {false, 1101, "DOWN@800"},
                    {true, 1200, ""},
                    {false, 1300, ""},
                    {false, 1700, ""}}},
        PolicyCase{"an odd status blocks every change",
                   2,
                   "Yes",
                   0,
                   true,
                   "Unknown",
                   {{false, 0, ""}, {true, 1, ""}}}));

TEST(Transitions, ChangeWritesStatusSinceKeyAndLogLine) {
    Device d;
    const QString since = ClockText(t0);
    auto r = EvaluateTransition(d.grid, 1, false, t0, since, {});
    EXPECT_EQ(r.change, TTransitionResult::Change::Down);
    EXPECT_EQ(r.logLine, "DOWN\t10.0.0.1\t" + since + "\tMain office");
    EXPECT_EQ(d.grid.Cell(1, Col::Status), "DOWN");
    EXPECT_EQ(d.grid.Cell(1, Col::Since), since);
    EXPECT_EQ(ParseSinceKey(d.grid.Cell(1, Col::SinceKey)), t0);

    r = EvaluateTransition(d.grid, 1, false, t0.addSecs(5), "later", {});
    EXPECT_EQ(r.change, TTransitionResult::Change::None);
    EXPECT_TRUE(r.logLine.isEmpty());
    EXPECT_EQ(d.grid.Cell(1, Col::Since), since);

    r = EvaluateTransition(d.grid, 1, true, t0.addSecs(9), "back", {});
    EXPECT_EQ(r.change, TTransitionResult::Change::Up);
    EXPECT_EQ(r.logLine, "Up\t10.0.0.1\tback\tMain office");
}

TEST(Transitions, ADelayChangeReachesRecordsAlreadyArmed) {
    Device d("Yes", "Up");
    EvaluateTransition(d.grid, 1, false, t0, "", {2, 300, false});
    EXPECT_TRUE(d.grid.Notification(1).pending);
    // The delay is cut to 60 s: the next probe past 60 s sends.
    const auto r = EvaluateTransition(d.grid, 1, false, t0.addSecs(61), "", {2, 60, false});
    ASSERT_EQ(r.alerts.size(), 1u);
    EXPECT_EQ(r.alerts[0].time, ClockText(t0));
    EXPECT_FALSE(d.grid.Notification(1).pending);
}

} // namespace
