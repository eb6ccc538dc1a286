#include "CycleSteps.h"
#include "GridColumn.h"
#include "StallMeter.h"
#include "WindowTest.h"
#include "devices/DeviceGrid.h"
#include "devices/GridDelegate.h"
#include "devices/GridView.h"
#include "monitor/DeviceTransitionDlg.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorLog.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/Clock.h"
#include "platform/ClockTexts.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <atomic>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct CycleWindowTest : TWindowTest {
    void SetUp() override {
        TWindowTest::SetUp();
        form->Session().Grid().SetGridHeader();
        for (auto [address, location, critical] :
             {std::tuple{"10.0.0.3", "Gamma", "Yes"}, std::tuple{"10.0.0.1", "alpha", "No"},
              std::tuple{"10.0.0.2", "beta", "Yes"}}) {
            std::array<QString, Col::Count> cells;
            cells[0] = address;
            cells[1] = location;
            cells[2] = critical;
            form->Session().Grid().AppendRow(cells);
        }
    }
    void echoAnswers(bool answer, int delayMs = 0) {
        form->Session().Cycle().SetEcho([answer, delayMs](const QString&, int) {
            if (delayMs)
                QThread::msleep(ulong(delayMs));
            TEchoResult r;
            r.replied = answer;
            r.roundTripTime = 3;
            return r;
        });
    }
    QStringList locations() const { return GridColumn(form->Session().Grid(), Col::Location); }
    // Starts the packet step of row `row` without waiting for it.
    void startProbe(int row) {
        form->Session().Cycle().RestartAt(row - 1);
        form->Session().Cycle().TimerInterSiteTimer();
        form->Session().Cycle().StopTimers();
        form->Session().Cycle().TimerInterPacketTimer();
    }
    void finishDevice() {
        QSignalSpy done(&form->Session().Cycle(), &TMonitorCycle::packetDone);
        while (form->Session().Cycle().Busy()) {
            // Waiting for the next packet step: run it now.
            if (form->Session().Cycle().TimerInterPacket().isActive()) {
                form->Session().Cycle().StopTimers();
                form->Session().Cycle().TimerInterPacketTimer();
            }
            ASSERT_TRUE(done.wait(8000));
        }
    }
};

TEST_F(CycleWindowTest, HeaderClicksSortEachColumnDescendingFirst) {
    form->sgMouseUp(1);
    EXPECT_EQ(locations(), (QStringList{"Gamma", "beta", "alpha"}));
    form->sgMouseUp(1);
    EXPECT_EQ(locations(), (QStringList{"alpha", "beta", "Gamma"}));
    EXPECT_TRUE(form->Session().Cycle().TimerInterSite().isActive());
    EXPECT_EQ(form->Session().Cycle().PacketCount(), 0);
    form->Session().Grid().SetCell(1, Col::PktsSent, "5");
    form->sgMouseUp(Col::PktsSent); // its own flag: descending again
    EXPECT_EQ(form->Session().Grid().Cell(1, Col::PktsSent), "5");
}

TEST_F(CycleWindowTest, RequestsDuringAProbeWaitForTheEndOfTheDevice) {
    echoAnswers(true, 200);
    Named<TMonitorSetupPage>((*form), "MonitorSetup")->UpDownVelmoraPacketsPerSite->setValue(1);
    Named<TMonitorSetupPage>((*form), "MonitorSetup")->UpDownVelmoraInterSiteDelay->setValue(7);
    startProbe(2);
    ASSERT_TRUE(form->Session().Cycle().Busy());
    form->sgMouseUp(2);
    form->sgMouseUp(1); // the later click wins
    form->ButtonApplySettingsClick();
    const QString other = folder.file("other.dat");
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("10.9.9.9\tnew one\r\n");
    }
    EXPECT_EQ(locations(), (QStringList{"Gamma", "alpha", "beta"}));
    EXPECT_EQ(form->Session().Cycle().TimerInterSite().interval(), 3000);
    finishDevice();
    // Sorted by location descending (first click), then Apply ran.
    EXPECT_EQ(locations(), (QStringList{"Gamma", "beta", "alpha"}));
    EXPECT_EQ(form->Session().Cycle().TimerInterSite().interval(), 7000);
    EXPECT_EQ(form->Session().Cycle().CurrentRow(), 1); // stepped back to resume at the same device

    // A new monitor asked for during a probe loads only after it.
    startProbe(1);
    form->Session().StartNewMonitor(other);
    EXPECT_EQ(form->Session().Grid().RowCount(), 4);
    finishDevice();
    EXPECT_EQ(locations(), (QStringList{"new one"}));
}

TEST_F(CycleWindowTest, WindowAnswersWhileAnEchoWaitsAndACloseWaitsForIt) {
    echoAnswers(false, 2500); // an echo and its retry: 5 s without an answer
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    TStallMeter meter;
    Named<TMonitorSetupPage>((*form), "MonitorSetup")->UpDownVelmoraPacketsPerSite->setValue(1);
    startProbe(1);
    QTest::qWait(300);
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->Session().ClosePending());
    QSignalSpy done(&form->Session().Cycle(), &TMonitorCycle::packetDone);
    ASSERT_TRUE(done.wait(8000));
    meter.Stop();
    EXPECT_GE(meter.Elapsed(), 4900);
    EXPECT_LT(meter.WorstGap(), 50) << "the GUI thread stalled, " << meter.WorstAt() << " ms in";
    EXPECT_EQ(form->Session().Grid().Cell(1, Col::Status), "DOWN");
    EXPECT_TRUE(form->isVisible());
    form->TimerTimeTimer(); // the clock retries the close
    EXPECT_FALSE(form->isVisible());
}

TEST_F(CycleWindowTest, ADownChangeLogsQueuesPopsUpAndAnimates) {
    form->Session().Email().sitesCritical = 1;
    form->Session().NotifyAddresses() = {"ops@example.org", "noc@example.org"};
    Named<TMonitorSetupPage>((*form), "MonitorSetup")->cbPopWindowDevice->setChecked(true);
    Named<TMonitorSetupPage>((*form), "MonitorSetup")->UpDownVelmoraPacketsPerSite->setValue(1);
    TManualClock fixed(QDateTime(QDate(2003, 3, 12), QTime(10, 22, 11)));
    SetClock(&fixed);
    form->Session().TimerTimeTimer();
    SetClock(nullptr);
    echoAnswers(false);
    startProbe(1); // Gamma, critical
    finishDevice();
    EXPECT_EQ(Named<TMonitorLog>((*form), "VelmoraMemo")->toPlainText(),
              "DOWN\t10.0.0.3\tWed Mar 12, 2003 10:22:11\tGamma");
    ASSERT_EQ(form->Session().Queue().Count(), 2u);
    EXPECT_EQ(form->Session().Queue().Head().details,
              "Gamma [ 10.0.0.3 ]  DOWN on: Wed Mar 12, 2003 10:22:11");
    EXPECT_TRUE(form->TrayAnimating());
    auto dialogs = form->findChildren<TDeviceTransitionDLG*>();
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_EQ(dialogs[0]->windowTitle(), "Device Alert");
    EXPECT_EQ(dialogs[0]->EditStatus->text(), "DOWN");
    EXPECT_FALSE(dialogs[0]->isModal());
    dialogs[0]->OKBtn->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form->findChildren<TDeviceTransitionDLG*>().isEmpty());

    // The animation ends after five ticks, and that is all those ticks do:
    // no state is saved and nothing else is closed.
    Named<TMonitorSetupPage>((*form), "MonitorSetup")->cbSaveState->setChecked(true);
    for (int i = 0; i < 6; ++i)
        form->TimerTimeTimer();
    EXPECT_FALSE(form->TrayAnimating());
    EXPECT_FALSE(TIniFile(folder.file("velmora.ini")).SectionExists("SaveOnExit_Grid"));
    Named<TMonitorSetupPage>((*form), "MonitorSetup")->cbSaveState->setChecked(false);

    startProbe(2); // alpha is not critical: logged, nothing queued
    finishDevice();
    EXPECT_EQ(form->Session().Queue().Count(), 2u);
}

TEST_F(CycleWindowTest, PaintingPopupSelectAllAndCopy) {
    WalkCycleTo(form->Session().Cycle(), 0, 2);
    const TGridDelegate* d = Named<TGridDelegate>((*form), "gridDelegate");
    const int up =
        Named<TMonitorSetupPage>((*form), "MonitorSetup")
            ->LabelColor(Named<TMonitorSetupPage>((*form), "MonitorSetup")->LabelDeviceUpColor);
    const int down =
        Named<TMonitorSetupPage>((*form), "MonitorSetup")
            ->LabelColor(Named<TMonitorSetupPage>((*form), "MonitorSetup")->LabelDeviceDownColor);
    const int active =
        Named<TMonitorSetupPage>((*form), "MonitorSetup")
            ->LabelColor(Named<TMonitorSetupPage>((*form), "MonitorSetup")->LabelActiveRowColor);
    EXPECT_EQ(d->LookOf(2, 0, "x").color, TMonitorSetupPage::ColorOf(active));
    EXPECT_EQ(d->LookOf(1, 0, "x").color, QColor(Qt::black));
    EXPECT_EQ(d->LookOf(2, 1, "x").color, QColor(Qt::black));
    EXPECT_EQ(d->LookOf(1, 3, "DOWN").color, TMonitorSetupPage::ColorOf(down));
    EXPECT_TRUE(d->LookOf(1, 3, "DOWN").bold);
    EXPECT_EQ(d->LookOf(1, 3, "Up").color, TMonitorSetupPage::ColorOf(up));
    EXPECT_EQ(d->LookOf(1, 3, "").color, TMonitorSetupPage::ColorOf(up));
    form->Session().Cycle().Reset(); // before the first probe
    EXPECT_EQ(d->LookOf(1, 0, "x").color, QColor(Qt::black));

    // Choosing the DOWN colour changes only that label and DOWN cells.
    prompts.colors = {QColor(0, 128, 255)};
    Named<TMonitorSetupPage>((*form), "MonitorSetup")->SpeedButton3->click();
    EXPECT_EQ(d->LookOf(1, 3, "DOWN").color, QColor(0, 128, 255));
    EXPECT_EQ(d->LookOf(1, 3, "Up").color, TMonitorSetupPage::ColorOf(up));
    EXPECT_EQ(
        Named<TMonitorSetupPage>((*form), "MonitorSetup")
            ->LabelColor(Named<TMonitorSetupPage>((*form), "MonitorSetup")->LabelDeviceDownColor),
        0xff8000);
    prompts.colors = {std::nullopt}; // cancelled: nothing changes
    Named<TMonitorSetupPage>((*form), "MonitorSetup")->SpeedButton3->click();
    EXPECT_EQ(d->LookOf(1, 3, "DOWN").color, QColor(0, 128, 255));

    Named<TGridView>(*form, "sg")->PopupMenuVelmoraGridPopup();
    EXPECT_TRUE(Named<QAction>((*form), "ActionDeleteGridDevice")->isVisible());
    form->Session().Grid().RemoveRow(1);
    form->Session().Grid().RemoveRow(1);
    Named<TGridView>(*form, "sg")->PopupMenuVelmoraGridPopup();
    EXPECT_FALSE(Named<QAction>((*form), "ActionDeleteGridDevice")->isVisible());
    EXPECT_TRUE(Named<QAction>((*form), "ActionEditGridDevice")->isVisible());

    Named<QAction>((*form), "ActionVelmoraGridSelectAll")->trigger();
    Named<QAction>((*form), "ActionVelmoraGridCopy")->trigger();
    const QStringList lines = QGuiApplication::clipboard()->text().split("\r\n");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1].split('\t').size(), 11);
    EXPECT_TRUE(lines[1].startsWith("10.0.0.2\tbeta\tYes"));
}

TEST_F(CycleWindowTest, RestoreAfterAClearAndALoggedChangeBringsTheBackupBack) {
    TMonitorLog* pane = Named<TMonitorLog>(*form, "VelmoraMemo");
    form->Session().MonitorLog().Append("first line");
    form->Session().MonitorLog().Append("second line");
    prompts.answers = {TPrompts::Answer::Yes};
    pane->ActionClearWanLog->trigger();
    EXPECT_EQ(pane->toPlainText(), "");
    // A change the cycle logs, as it does in the running program.
    Named<TMonitorSetupPage>(*form, "MonitorSetup")->UpDownVelmoraPacketsPerSite->setValue(1);
    echoAnswers(false);
    startProbe(2);
    finishDevice();
    const QStringList logged = pane->Lines();
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].startsWith("DOWN\t10.0.0.1\t"));
    pane->ActionVelmoraLogRestore->trigger();
    EXPECT_EQ(pane->Lines(), (QStringList{logged[0], "first line", "second line"}));
    EXPECT_EQ(pane->toPlainText().split('\n'), pane->Lines()) << "the pane shows the model";
}

TEST_F(CycleWindowTest, AHeaderClickSortsAndSelectsNothing) {
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    auto* sg = Named<TGridView>(*form, "sg");
    sg->setCurrentIndex(sg->model()->index(1, 0)); // the operator's row: 2
    ASSERT_EQ(form->Session().SelectedRow(), 2);
    sg->selectionModel()->clearSelection();
    QHeaderView* header = sg->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(1) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(locations(), (QStringList{"Gamma", "beta", "alpha"}));
    EXPECT_TRUE(sg->selectionModel()->selectedIndexes().isEmpty());
    EXPECT_EQ(form->Session().SelectedRow(), 2);
}

TEST_F(CycleWindowTest, AFailingDeferredApplyShowsItsErrorAfterTheStepAndProbesOnce) {
    // The settings file cannot be written: a folder stands in its place.
    ASSERT_TRUE(QDir(folder.dir.path()).mkdir("velmora.ini"));
    std::atomic<int> inFlight{0}, overlaps{0}, probes{0};
    form->Session().Cycle().SetEcho([&](const QString&, int) {
        if (inFlight++ > 0)
            ++overlaps;
        ++probes;
        QThread::msleep(50);
        --inFlight;
        TEchoResult r;
        r.replied = true;
        return r;
    });
    Named<TMonitorSetupPage>(*form, "MonitorSetup")->UpDownVelmoraPacketsPerSite->setValue(2);
    Named<TMonitorSetupPage>(*form, "MonitorSetup")->UpDownVelmoraInterPacketDelay->setValue(100);
    Named<TMonitorSetupPage>(*form, "MonitorSetup")->UpDownVelmoraInterSiteDelay->setValue(1);
    QPushButton* apply = Named<TMonitorSetupPage>(*form, "MonitorSetup")->ButtonApplySettings;
    prompts.messages.clear(); // the start-up question
    apply->click();           // fails at once, shown at once: not in a step
    ASSERT_EQ(prompts.messages.size(), 1u);
    prompts.messages.clear();
    startProbe(1);
    apply->click(); // deferred to the end of the device
    EXPECT_TRUE(prompts.messages.empty());
    // The real timers run the cycle from here.
    QTRY_VERIFY_WITH_TIMEOUT(!prompts.messages.empty(), 5000);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("Unable to write to "));
    QTest::qWait(2500);
    EXPECT_EQ(overlaps.load(), 0) << "two echoes at once";
    EXPECT_EQ(form->Session().Grid().Cell(1, Col::PktsSent), "2");
}

// The notification delay runs on the monotonic clock: a step of the wall
// clock an hour back neither sends the alert early nor changes its text.
TEST_F(CycleWindowTest, AWallClockStepDoesNotHastenADelayedAlert) {
    TManualClock clock(QDateTime(QDate(2026, 12, 10), QTime(9, 0, 0)));
    SetClock(&clock);
    form->Session().Email().sitesCritical = 1;
    form->Session().Email().delayMinutes = 5;
    form->Session().NotifyAddresses() = {"ops@example.org"};
    Named<TMonitorSetupPage>(*form, "MonitorSetup")->UpDownVelmoraPacketsPerSite->setValue(1);
    form->Session().Grid().SetCell(1, Col::Status, "Up");
    form->Session().TimerTimeTimer();
    const QString since = form->Session().ClockText();
    echoAnswers(false);
    startProbe(1); // Gamma, critical: goes DOWN, the alert is armed
    finishDevice();
    ASSERT_EQ(form->Session().Grid().Cell(1, Col::Status), "DOWN");
    EXPECT_EQ(form->Session().Queue().Count(), 0u);
    clock.set(clock.now().addSecs(-3600)); // NTP steps the wall clock back
    clock.advanceSecs(5);
    startProbe(1);
    finishDevice();
    EXPECT_EQ(form->Session().Queue().Count(), 0u) << "5 s after the change";
    clock.advanceSecs(300);
    startProbe(1);
    finishDevice();
    ASSERT_EQ(form->Session().Queue().Count(), 1u);
    EXPECT_EQ(form->Session().Queue().Head().details, "Gamma [ 10.0.0.3 ]  DOWN on: " + since);
    SetClock(nullptr);
}

TEST(EchoThread, RunsAtNormalPriority) {
    TDeviceGrid grid;
    grid.SetGridHeader();
    std::array<QString, Col::Count> cells;
    cells[0] = "127.0.0.1";
    grid.AppendRow(cells);
    TMonitorCycle cycle(&grid);
    std::atomic<int> policy{-1}, nice{-100};
    cycle.SetEcho([&](const QString&, int) {
        policy = sched_getscheduler(0);
        nice = getpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)));
        TEchoResult r;
        r.replied = true;
        return r;
    });
    QSignalSpy done(&cycle, &TMonitorCycle::packetDone);
    cycle.TimerInterSiteTimer();
    cycle.StopTimers();
    cycle.TimerInterPacketTimer();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(policy.load(), SCHED_OTHER) << "SCHED_IDLE waits for an idle CPU";
    EXPECT_EQ(nice.load(), getpriority(PRIO_PROCESS, 0));
}

} // namespace
