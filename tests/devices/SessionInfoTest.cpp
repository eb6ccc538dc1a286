// "Session Information..." from the Info menu over a small grid: the
// candidate rules of the four extremes, the current device, and the
// refresh timer taken when the dialog opens.
#include "CycleSteps.h"
#include "WindowTest.h"
#include "devices/DeviceGrid.h"
#include "devices/SessionInfoDlg.h"
#include "monitor/MonitorCycle.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

struct Device {
    const char* address;
    const char* location;
    const char* percentOk;
    const char* avgResp;
};

struct Shown {
    QString loops, devices, maxAvg, minAvg, maxOk, minOk, current, position;
};

struct SessionInfoTest : TWindowTest {
    void fill(const std::vector<Device>& devices, int loops, int current) {
        TDeviceGrid& g = form->Session().Grid();
        g.SetGridHeader();
        for (const Device& d : devices) {
            std::array<QString, Col::Count> cells;
            cells[Col::Address] = d.address;
            cells[Col::Location] = d.location;
            cells[Col::PercentOk] = d.percentOk;
            cells[Col::AvgResp] = d.avgResp;
            g.AppendRow(cells);
        }
        WalkCycleTo(form->Session().Cycle(), loops, current);
    }
    TSessionInfoDlg* openDialog() {
        const auto before = form->findChildren<TSessionInfoDlg*>();
        Named<QAction>(*form, "SessionInformation1")->trigger();
        for (TSessionInfoDlg* d : form->findChildren<TSessionInfoDlg*>())
            if (!before.contains(d))
                return d;
        ADD_FAILURE() << "no new dialog";
        return nullptr;
    }
    static Shown shown(const TSessionInfoDlg& d) {
        return {d.LabelLoopCnt->text(),
                d.LabelDeviceCnt->text(),
                d.LabelMaxAvgRespTime->text(),
                d.LabelMinAvgRespTime->text(),
                d.LabelMaxPercOk->text(),
                d.LabelMinPercOk->text(),
                d.LabelCurrentDeviceScanned->text(),
                d.LabelLocationInTheGrid->text()};
    }
};

void ExpectShown(const Shown& got, const Shown& want, const char* name) {
    EXPECT_EQ(got.loops, want.loops) << name;
    EXPECT_EQ(got.devices, want.devices) << name;
    EXPECT_EQ(got.maxAvg, want.maxAvg) << name;
    EXPECT_EQ(got.minAvg, want.minAvg) << name;
    EXPECT_EQ(got.maxOk, want.maxOk) << name;
    EXPECT_EQ(got.minOk, want.minOk) << name;
    EXPECT_EQ(got.current, want.current) << name;
    EXPECT_EQ(got.position, want.position) << name;
}

TEST_F(SessionInfoTest, CandidateRulesOverFixtureGrids) {
    struct Case {
        const char* name;
        std::vector<Device> devices;
        int loops, current;
        Shown want;
    };
    const std::vector<Case> cases = {
        {"no pass yet: the extremes stay empty",
         {{"10.0.0.1", "a", "100", "20"}, {"10.0.0.2", "b", "50", "30"}},
         0,
         2,
         {"0", "2", "", "", "", "", "10.0.0.2 / b", "2 of 2"}},
        {"ties show the upper row",
         {{"10.0.0.1", "a", "90", "10"},
          {"10.0.0.2", "b", "100", "30"},
          {"10.0.0.3", "c", "100", "30"},
          {"10.0.0.4", "d", "50", "5"},
          {"10.0.0.5", "e", "50", "5"}},
         3,
         1,
         {"3", "5", "10.0.0.2 / b / 30ms", "10.0.0.4 / d / 5ms", "10.0.0.2 / b / 100%",
          "10.0.0.4 / d / 50%", "10.0.0.1 / a", "1 of 5"}},
        {"row 1 without an average counts as 0; later empty rows take no part",
         {{"10.0.0.1", "never", "0", ""},
          {"10.0.0.2", "b", "100", "25"},
          {"10.0.0.3", "new", "", ""}},
         1,
         3,
         {"1", "3", "10.0.0.2 / b / 25ms", "10.0.0.1 / never / 0ms", "10.0.0.2 / b / 100%",
          "10.0.0.1 / never / 0%", "10.0.0.3 / new", "3 of 3"}},
        {"one device: the extremes stay empty for good",
         {{"10.0.0.1", "a", "100", "20"}},
         5,
         1,
         {"5", "1", "", "", "", "", "10.0.0.1 / a", "1 of 1"}},
        {"before the first probe the current row is the header",
         {{"10.0.0.1", "a", "100", "20"}, {"10.0.0.2", "b", "40", "9"}},
         1,
         0,
         {"1", "2", "10.0.0.1 / a / 20ms", "10.0.0.2 / b / 9ms", "10.0.0.1 / a / 100%",
          "10.0.0.2 / b / 40%", "IP Address / Location", "0 of 2"}},
    };
    for (const Case& c : cases) {
        fill(c.devices, c.loops, c.current);
        TSessionInfoDlg* d = openDialog();
        ASSERT_NE(d, nullptr);
        ExpectShown(shown(*d), c.want, c.name);
        d->close();
    }
}

TEST_F(SessionInfoTest, RowsWithoutValuesLeaveThePreviousTexts) {
    fill({{"10.0.0.1", "a", "80", "20"}, {"10.0.0.2", "b", "100", "40"}}, 1, 2);
    TSessionInfoDlg* d = openDialog();
    ASSERT_NE(d, nullptr);
    const Shown first = shown(*d);
    EXPECT_EQ(first.maxAvg, "10.0.0.2 / b / 40ms");
    EXPECT_EQ(first.minOk, "10.0.0.1 / a / 80%");

    // A new monitor: row 2 has no values yet, row 1 has new ones.
    TDeviceGrid& g = form->Session().Grid();
    g.SetCell(1, Col::AvgResp, "99");
    g.SetCell(1, Col::PercentOk, "1");
    g.SetCell(2, Col::AvgResp, "");
    g.SetCell(2, Col::PercentOk, "");
    WalkCycleTo(form->Session().Cycle(), 4, 1);
    d->TimerSessionInfoTimer(); // its tick
    const Shown second = shown(*d);
    EXPECT_EQ(second.maxAvg, first.maxAvg);
    EXPECT_EQ(second.minAvg, first.minAvg);
    EXPECT_EQ(second.maxOk, first.maxOk);
    EXPECT_EQ(second.minOk, first.minOk);
    EXPECT_EQ(second.loops, "4");
    EXPECT_EQ(second.current, "10.0.0.1 / a");
}

TEST_F(SessionInfoTest, ModelessDialogsEachWithTheIntervalTakenAtOpening) {
    fill({{"10.0.0.1", "a", "100", "20"}}, 0, 1);
    form->Session().Cycle().SetIntervals(100, 5);
    QPointer<TSessionInfoDlg> first = openDialog();
    ASSERT_TRUE(first);
    form->Session().Cycle().SetIntervals(100, 7);
    QPointer<TSessionInfoDlg> second = openDialog();
    ASSERT_TRUE(second);

    EXPECT_EQ(first->windowTitle(), "Velmora Session Information");
    EXPECT_FALSE(first->isModal());
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(first->TimerSessionInfo.interval(), 5000);
    EXPECT_TRUE(first->TimerSessionInfo.isActive());
    EXPECT_EQ(second->TimerSessionInfo.interval(), 7000);

    // Each figure's bold caption is the buddy label of its value.
    QStringList captions;
    for (QLabel* l : first->findChildren<QLabel*>())
        if (l->buddy()) {
            captions << l->text();
            EXPECT_TRUE(l->font().bold()) << l->text().toStdString();
        }
    EXPECT_EQ(captions, (QStringList{"Number of Loops through Monitor Grid since Startup:",
                                     "Number of Devices in Monitor Grid:",
                                     "Device with Largest Avg. Response Time:",
                                     "Device with Smallest Avg. Response Time:",
                                     "Device with Largest % Ok:", "Device with Smallest % Ok:",
                                     "Current Device being Scanned:", "Location in the Grid:"}));
    EXPECT_EQ(first->OKBtn->text(), "Done");
    EXPECT_TRUE(first->OKBtn->isDefault());

    first->OKBtn->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_FALSE(second.isNull());
}

} // namespace
