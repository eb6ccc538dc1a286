#include "window/MainWindow.h"
#include "CycleSteps.h"
#include "TestFiles.h"
#include "WindowTest.h"
#include "app/TerminationSignals.h"
#include "devices/DeviceGrid.h"
#include "devices/GridView.h"
#include "mail/EMAILNotify.h"
#include "mail/SMTPClient.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorLog.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/ClockTexts.h"
#include "platform/IniFile.h"
#include "session/Session.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace {

struct MainWindowTest : ::testing::Test {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    QString ini() const { return folder.file(QStringLiteral("velmora.ini")); }
};

TEST_F(MainWindowTest, FirstStartShowsLoopbackAndWritesNothingUntilAResize) {
    TForm1 form(TestWindowOptions());
    ASSERT_EQ(form.Session().Grid().RowCount(), 2);
    EXPECT_EQ(form.Session().Grid().Cell(1, 0), "127.0.0.1");
    EXPECT_EQ(form.Session().Grid().Cell(1, 1), "loopback");
    EXPECT_EQ(form.Session().Grid().Cell(1, 2), "No");
    const QSize screen = QGuiApplication::primaryScreen()->size();
    EXPECT_EQ(form.size(), QSize(int(screen.width() * 0.85), int(screen.height() * 0.65)));
    EXPECT_EQ(Named<QTabWidget>(form, "PageControl1")->currentWidget(),
              Named<QWidget>(form, "TabSheet1"));
    EXPECT_EQ(Named<QLabel>(form, "statbarPanel1")->text(), "Idle");
    EXPECT_TRUE(Named<QTimer>(form.Session(), "TimerTime")->isActive());
    EXPECT_TRUE(Named<QTimer>(form.Session(), "EMAILTimer")->isActive());
    EXPECT_TRUE(form.Session().Cycle().TimerInterSite().isActive());
    EXPECT_FALSE(form.Session().Cycle().TimerInterPacket().isActive());
    EXPECT_EQ(form.Session().Cycle().TimerInterSite().interval(), 3000);
    EXPECT_EQ(form.Session().Cycle().TimerInterPacket().interval(), 1000);

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(50);
    EXPECT_FALSE(QFile::exists(ini())) << "showing the window must not write its size";

    form.resize(640, 480);
    QTest::qWait(20);
    TIniFile s(ini());
    EXPECT_EQ(s.ReadInteger("VELMORA Settings", "Width", 0), form.width());
    EXPECT_EQ(s.ReadInteger("VELMORA Settings", "Height", 0), form.height());
    // The only question at a first start: which DNS server to use.
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "DNS Server Specification");
}

TEST_F(MainWindowTest, CloseWhileBusyIsRefusedAndRetriedByTheClock) {
    TForm1 form(TestWindowOptions());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TEchoGate echo;
    TMonitorCycle& cycle = form.Session().Cycle();
    cycle.SetEcho(echo.Echo());
    cycle.StopTimers();
    StepToNextDevice(cycle);
    cycle.TimerInterPacketTimer(); // a probe that waits for the gate
    ASSERT_TRUE(cycle.Busy());
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.Session().ClosePending());
    EXPECT_TRUE(form.isVisible());

    form.TimerTimeTimer(); // still busy: nothing happens
    EXPECT_TRUE(form.isVisible());

    // The pending close ends the device after this packet.
    QSignalSpy done(&cycle, &TMonitorCycle::packetDone);
    echo.Open();
    ASSERT_TRUE(done.wait(5000));
    ASSERT_FALSE(cycle.Busy());
    form.TimerTimeTimer();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(Named<QTimer>(form.Session(), "TimerTime")->isActive());
    EXPECT_FALSE(Named<QTimer>(form.Session(), "EMAILTimer")->isActive());
    EXPECT_FALSE(form.Session().Cycle().TimerInterSite().isActive());
}

// A stopped EMAILTimer is no delivery (the EMAIL dialog holds the timer
// while it is open): only a delivery that really runs holds a close up, and
// CloseDuringDelivery shows that one.
TEST_F(MainWindowTest, AHeldEmailTimerDoesNotHoldACloseUp) {
    TForm1 form(TestWindowOptions());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Named<QTimer>(form.Session(), "EMAILTimer")->stop();
    EXPECT_FALSE(form.Session().Running().delivery);
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainWindowTest, WithoutSocketLayerNothingRunsButTheWindowCloses) {
    TForm1::Options o = TestWindowOptions();
    o.startSocketLayer = [] { return false; };
    TForm1 form(o);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Usable Winsock.dll Not Found");
    EXPECT_EQ(prompts.messages[0].caption, "Winsock Error");
    EXPECT_FALSE(Named<QTimer>(form.Session(), "TimerTime")->isActive());
    EXPECT_FALSE(Named<QTimer>(form.Session(), "EMAILTimer")->isActive());
    EXPECT_FALSE(form.Session().Cycle().TimerInterSite().isActive());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_TRUE(form.close());
}

TEST_F(MainWindowTest, SettingsFileFeedsTheControlsWhateverItsCase) {
    const QString dat = folder.file("net.dat");
    WriteTestFile(dat, "10.0.0.2\tzeta\r\n10.0.0.1\talpha\tyes\r\n");
    WriteTestFile(folder.file("VELMORA.INI"),
                  "garbage line\r\n\x01\x02\xff\r\n[VELMORA Settings]\r\nDATFile=" + dat.toUtf8() +
                      "\r\nVelmoraPingTimeOut=0x0A\r\nVelmoraPacketsPerSite=abc\r\n"
                      "VelmoraInterPacketDelay=500\r\nVelmoraInterSiteDelay=99\r\n"
                      "saveStateOnExit=0\r\nVelmoraLogVerbose=7\r\nVelmoraDeviceDownColor=65535\r\n"
                      "Width=700\r\nHeight=400\r\nDebugEMAIL=1\r\n");
    TForm1 form(TestWindowOptions());
    TMonitorSetupPage* m = Named<TMonitorSetupPage>(form, "MonitorSetup");
    EXPECT_EQ(m->UpDownVelmoraPingTimeOut->value(), 10);
    EXPECT_EQ(m->UpDownVelmoraPacketsPerSite->value(), 2); // not a number: default
    EXPECT_EQ(m->UpDownVelmoraInterPacketDelay->value(), 500);
    EXPECT_EQ(m->UpDownVelmoraInterSiteDelay->value(), 60); // clamped to its range
    EXPECT_TRUE(m->cbVelmoraLogVerbose->isChecked());
    EXPECT_EQ(m->LabelColor(m->LabelDeviceDownColor), 65535);
    EXPECT_EQ(m->LabelColor(m->LabelDeviceUpColor), 16711680);
    EXPECT_EQ(form.size(), QSize(700, 400));
    EXPECT_TRUE(Named<QAction>(form, "DebugEMAIL1")->isChecked());
    EXPECT_EQ(form.Session().Cycle().TimerInterSite().interval(), 60000);
    ASSERT_EQ(form.Session().Grid().RowCount(), 3);
    EXPECT_EQ(form.Session().Grid().Cell(1, 1), "alpha");
    EXPECT_EQ(form.Session().Grid().Cell(1, 2), "Yes");
    EXPECT_EQ(Named<QLabel>(form, "statbarPanel2")->text(), "net.dat");
}

TEST_F(MainWindowTest, ApplyWhileBusyWaitsThenWritesAndStepsBack) {
    TForm1 form(TestWindowOptions());
    TMonitorCycle& cycle = form.Session().Cycle();
    for (const char* address : {"127.0.0.2", "127.0.0.3"}) {
        std::array<QString, Col::Count> cells;
        cells[Col::Address] = address;
        cells[Col::Location] = address;
        form.Session().Grid().AppendRow(cells);
    }
    TEchoGate echo;
    cycle.SetEcho(echo.Echo());
    Named<TMonitorSetupPage>(form, "MonitorSetup")->UpDownVelmoraPacketsPerSite->setValue(1);
    Named<TMonitorSetupPage>(form, "MonitorSetup")->UpDownVelmoraInterSiteDelay->setValue(5);
    WalkCycleTo(cycle, 0, 2);
    StepToNextDevice(cycle);
    cycle.TimerInterPacketTimer(); // row 3, waiting for the gate
    ASSERT_TRUE(cycle.Busy());
    ASSERT_EQ(cycle.CurrentRow(), 3);
    form.ButtonApplySettingsClick();
    EXPECT_TRUE(cycle.ApplyPending());
    EXPECT_FALSE(QFile::exists(ini()));
    EXPECT_EQ(cycle.TimerInterSite().interval(), 3000);

    // The end of the device carries the Apply out.
    QSignalSpy done(&cycle, &TMonitorCycle::packetDone);
    echo.Open();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_FALSE(cycle.ApplyPending());
    TIniFile s(ini());
    EXPECT_EQ(s.ReadInteger("VELMORA Settings", "VelmoraInterSiteDelay", 0), 5);
    EXPECT_EQ(cycle.CurrentRow(), 2);
    EXPECT_EQ(cycle.TimerInterSite().interval(), 5000);
    EXPECT_TRUE(cycle.TimerInterSite().isActive());
    EXPECT_FALSE(cycle.TimerInterPacket().isActive());

    // Between devices it runs at once, and steps back again.
    Named<TMonitorSetupPage>(form, "MonitorSetup")->UpDownVelmoraInterSiteDelay->setValue(6);
    form.ButtonApplySettingsClick();
    EXPECT_EQ(s.ReadInteger("VELMORA Settings", "VelmoraInterSiteDelay", 0), 6);
    EXPECT_EQ(cycle.CurrentRow(), 1);
    EXPECT_EQ(cycle.TimerInterSite().interval(), 6000);
    EXPECT_TRUE(cycle.TimerInterSite().isActive());
    EXPECT_FALSE(cycle.TimerInterPacket().isActive());
}

TEST_F(MainWindowTest, ApplyErasesSavedStateUnlessKept) {
    WriteTestFile(ini(), "[SaveOnExit_Grid]\r\nrow-1=x\r\n[SaveOnExit_Misc]\r\nCurrent Row=1\r\n"
                         "[Other]\r\nk=v\r\n");
    TForm1 form(TestWindowOptions());
    Named<TMonitorSetupPage>(form, "MonitorSetup")->cbSaveState->setChecked(true);
    form.ButtonApplySettingsClick();
    TIniFile s(ini());
    EXPECT_TRUE(s.SectionExists("SaveOnExit_Grid"));
    Named<TMonitorSetupPage>(form, "MonitorSetup")->cbSaveState->setChecked(false);
    form.ButtonApplySettingsClick();
    EXPECT_FALSE(s.SectionExists("SaveOnExit_Grid"));
    EXPECT_FALSE(s.SectionExists("SaveOnExit_Misc"));
    EXPECT_EQ(s.ReadString("Other", "k", ""), "v");
}

TEST_F(MainWindowTest, FailedApplyIsShownAndTheCycleStillRuns) {
    TForm1 form(TestWindowOptions());
    // A folder where the settings file should be: every write fails.
    ASSERT_TRUE(QDir().mkpath(ini()));
    prompts.messages.clear();
    Named<TMonitorSetupPage>(form, "MonitorSetup")->ButtonApplySettings->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to write to " + ini());
    EXPECT_TRUE(form.Session().Cycle().TimerInterSite().isActive());
}

TEST_F(MainWindowTest, DataFileCommands) {
    TForm1 form(TestWindowOptions());
    const QString path = folder.file("my devices.dat");
    WriteTestFile(path, "10.1.1.1\tbeta\n10.1.1.2\tGamma\n10.1.1.3\talpha\n");

    prompts.fileNames = {path};
    Named<QAction>(form, "FileOpenDataFile")->trigger();
    EXPECT_EQ(launcher.editorPaths, QStringList{path}); // one argument, blanks and all
    EXPECT_EQ(prompts.fileDialogTitles.last(), "Open a DAT File to Edit");

    Named<QAction>(form, "New1")->trigger();
    EXPECT_EQ(launcher.editorPaths.last(), QString());

    WalkCycleTo(form.Session().Cycle(), 7, 1);
    Named<TMonitorLog>(form, "VelmoraMemo")->appendPlainText("old line");
    prompts.fileNames = {path};
    Named<QAction>(form, "FileOpenMonitorFile")->trigger();
    EXPECT_EQ(prompts.fileDialogTitles.last(), "Open Monitor File");
    ASSERT_EQ(form.Session().Grid().RowCount(), 4);
    EXPECT_EQ(form.Session().Grid().Cell(1, 1), "alpha");
    EXPECT_EQ(form.Session().Grid().Cell(2, 1), "beta");
    EXPECT_EQ(form.Session().Grid().Cell(3, 1), "Gamma");
    EXPECT_EQ(form.Session().Cycle().CurrentRow(), 0);
    EXPECT_EQ(form.Session().Cycle().LoopCount(), 0);
    EXPECT_TRUE(Named<TMonitorLog>(form, "VelmoraMemo")->toPlainText().isEmpty());
    EXPECT_EQ(TIniFile(ini()).ReadString("VELMORA Settings", "DATFile", ""), path);
    EXPECT_EQ(Named<QLabel>(form, "statbarPanel2")->text(), "my devices.dat");
    EXPECT_TRUE(form.Session().Cycle().TimerInterSite().isActive());

    prompts.fileNames = {QString()}; // cancelled: nothing changes
    Named<QAction>(form, "FileOpenMonitorFile")->trigger();
    EXPECT_EQ(form.Session().Grid().RowCount(), 4);
}

TEST_F(MainWindowTest, HelpSaysWhenTheHelpFileIsMissing) {
    TForm1 form(TestWindowOptions());
    prompts.messages.clear();
    Named<QAction>(form, "Help1")->trigger();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.contains("share/velmora/help/index.html"))
        << prompts.messages[0].text.toStdString();
    EXPECT_TRUE(launcher.helpFiles.isEmpty());
    WriteTestFile(folder.file("Velmora.HLP"), "help");
    Named<QAction>(form, "Help1")->trigger();
    EXPECT_EQ(launcher.helpFiles, QStringList{folder.file("Velmora.HLP")});
    EXPECT_EQ(launcher.contexts, QList<int>{0});

    // F1 on a highlighted menu entry opens its topic.
    QMenu* tasks = form.menuBar()->actions()[0]->menu();
    tasks->popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tasks));
    tasks->setActiveAction(Named<QAction>(form, "Exit2"));
    ASSERT_EQ(tasks->activeAction(), Named<QAction>(form, "Exit2"));
    QTest::keyClick(tasks, Qt::Key_F1);
    EXPECT_EQ(launcher.contexts.last(), 160);
    EXPECT_FALSE(tasks->isVisible());
    EXPECT_FALSE(form.Session().Closed()) << "F1 must not carry out the entry";
}

TEST_F(MainWindowTest, TabsMenusAndShortcuts) {
    TForm1 form(TestWindowOptions());
    const QStringList tabs = {"Monitor Grid",
                              "Monitor Log",
                              "Monitor Setup",
                              "Ping",
                              "EMAIL Log",
                              "DNS Resolver",
                              "Velmora Grid/Log Web Page"};
    ASSERT_EQ(Named<QTabWidget>(form, "PageControl1")->count(), tabs.size());
    for (int i = 0; i < tabs.size(); ++i)
        EXPECT_EQ(Named<QTabWidget>(form, "PageControl1")->tabText(i), tabs[i]);

    struct Item {
        const char* menu;
        QStringList items;
    };
    const std::vector<Item> menus = {
        {"&Tasks",
         {"&New Data File...", "&Edit Data File...", "&Start New Monitor...",
          "&Insert into Data Grid...", "DNS Server Specification...", "Explore Grid/Log Web Pages",
          "E&xit"}},
        {"&EMAIL Notification",
         {"Parameters...", "Push Notifications...", "Hold EMAIL Notification",
          "Display Pending EMAILS", "Clear EMAIL Notification Queue...", "Debug &EMAIL"}},
        {"&Info",
         {"&Help", "&Winsock Information...", "Session Information...", "&About Velmora..."}}};
    const auto bar = form.menuBar()->actions();
    ASSERT_EQ(bar.size(), qsizetype(menus.size()));
    for (size_t m = 0; m < menus.size(); ++m) {
        EXPECT_EQ(bar[qsizetype(m)]->text(), menus[m].menu);
        QStringList got;
        for (QAction* a : bar[qsizetype(m)]->menu()->actions())
            got << a->text();
        EXPECT_EQ(got, menus[m].items);
    }
    EXPECT_EQ(Named<QAction>(form, "FileOpenDataFile")->shortcut(), QKeySequence("Ctrl+E"));
    EXPECT_EQ(Named<QAction>(form, "FileOpenMonitorFile")->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(Named<QAction>(form, "MergeintoDataGrid1")->shortcut(), QKeySequence("Ctrl+M"));
    EXPECT_EQ(Named<QAction>(form, "Help1")->shortcut(), QKeySequence("F1"));
    EXPECT_EQ(Named<QTimer>(form, "TimerPing")->interval(), 800);
    EXPECT_EQ(Named<QTimer>(form.Session(), "EMAILTimer")->interval(), 5000);
    EXPECT_EQ(form.Session().Smtp().TimerSMTP.interval(), 15000);
    EXPECT_EQ(form.Session().Smtp().TimerSMTP2.interval(), 15000);
}

TEST_F(MainWindowTest, EveryControlCanBeFoundByItsCaption) {
    TForm1 form(TestWindowOptions());
    QSet<QWidget*> labelled;
    for (QLabel* l : form.findChildren<QLabel*>()) {
        if (l->buddy())
            labelled.insert(l->buddy());
        else if (!l->text().isEmpty() && !l->objectName().startsWith("statbar"))
            ADD_FAILURE() << "label without a buddy: " << l->text().toStdString();
    }
    QList<QWidget*> controls;
    for (QWidget* w : form.findChildren<QWidget*>())
        if (qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTableView*>(w) ||
            (qobject_cast<QAbstractButton*>(w) &&
             static_cast<QAbstractButton*>(w)->text().startsWith('.')))
            controls << w;
    ASSERT_FALSE(controls.isEmpty());
    for (QWidget* w : controls)
        if (!labelled.contains(w) && w->accessibleName().isEmpty() &&
            !(qobject_cast<QAbstractButton*>(w) &&
              !static_cast<QAbstractButton*>(w)->text().isEmpty()))
            ADD_FAILURE() << "no caption for " << w->objectName().toStdString();
    EXPECT_EQ(Named<TGridView>(form, "sg")->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole),
              "IP Address");
}

// Each save reaches the settings file in one replacement: a crash never
// leaves half of it written.
TEST_F(MainWindowTest, ApplyTheEmailDialogAndSaveStateEachWriteTheFileOnce) {
    TForm1 form(TestWindowOptions());
    TIniFile& settings = form.Session().Settings();
    auto* setup = Named<TMonitorSetupPage>(form, "MonitorSetup");
    setup->UpDownVelmoraPingTimeOut->setValue(5);
    quint64 before = settings.Replacements();
    setup->ButtonApplySettings->click();
    EXPECT_EQ(settings.Replacements() - before, 1u);
    EXPECT_EQ(TIniFile(ini()).ReadInteger("VELMORA Settings", "VelmoraPingTimeOut", 0), 5);

    // The EMAIL Notification dialog, filled in and confirmed by the operator.
    before = settings.Replacements();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TEMAILNotify*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->Edit1->setText("me@velmora.test");
        dialog->Memo1->setPlainText("ops@velmora.test\nnoc@velmora.test");
        dialog->Edit3->setText("127.0.0.53");
        dialog->OKBtn->click();
    });
    Named<QAction>(form, "Parameters1")->trigger();
    EXPECT_EQ(settings.Replacements() - before, 1u);
    const TIniFile written(ini());
    EXPECT_EQ(written.ReadString("VELMORA Settings", "YourEMAILAddress", ""), "me@velmora.test");
    EXPECT_EQ(written.ReadString("Notify Addresses", "Address-1", ""), "noc@velmora.test");
    EXPECT_EQ(written.ReadString("DNS Settings", "DNS-0", ""), "127.0.0.53");

    setup->cbSaveState->setChecked(true);
    before = settings.Replacements();
    EXPECT_TRUE(form.close());
    EXPECT_EQ(settings.Replacements() - before, 1u);
    EXPECT_TRUE(TIniFile(ini()).SectionExists("SaveOnExit_Grid"));
}

// A termination signal while a modal dialog waits: the dialog is cancelled
// and the window closes through the close rule within moments.
TEST_F(MainWindowTest, SigtermWhileTheEmailDialogIsOpenCloses) {
    TForm1 form(TestWindowOptions());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TTerminationSignals terminations;
    QObject::connect(&terminations, &TTerminationSignals::Requested, &form,
                     [&] { form.TerminationRequested(); });
    bool dialogWasOpen = false;
    QTimer::singleShot(300, [&] {
        dialogWasOpen = qobject_cast<TEMAILNotify*>(QApplication::activeModalWidget()) != nullptr;
        ::raise(SIGTERM);
    });
    QElapsedTimer t;
    t.start();
    QTimer::singleShot(0, [&] { Named<QAction>(form, "Parameters1")->trigger(); });
    QTRY_VERIFY_WITH_TIMEOUT(form.Session().Closed(), 5000);
    EXPECT_TRUE(dialogWasOpen);
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// What a screen reader reads of the status bar is its text, and a location
// with markup is shown as the characters it holds.
TEST_F(MainWindowTest, StatusPanelsAreReadWithTheirTextsAndShowNoMarkup) {
    TForm1 form(TestWindowOptions());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Session().Grid().SetCell(1, 1, "Unreachable <b>host</b> & co");
    form.Session().Cycle().SetEcho([](const QString&, int) {
        QThread::msleep(300);
        return TEchoResult{};
    });
    form.Session().Cycle().TimerInterSiteTimer();
    form.Session().Cycle().StopTimers();
    form.Session().Cycle().TimerInterPacketTimer();
    auto* panel = Named<QLabel>(form, "statbarPanel1");
    EXPECT_EQ(panel->textFormat(), Qt::PlainText);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(panel);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(QAccessible::Name), "Pinging: Unreachable <b>host</b> & co => 1");
    EXPECT_EQ(a->text(QAccessible::Description), "Activity");
    form.TimerTimeTimer();
    QAccessibleInterface* clock =
        QAccessible::queryAccessibleInterface(Named<QLabel>(form, "statbarPanel0"));
    EXPECT_EQ(clock->text(QAccessible::Name), "Clock: " + form.Session().ClockText());
    QSignalSpy done(&form.Session().Cycle(), &TMonitorCycle::packetDone);
    ASSERT_TRUE(done.wait(5000));
}

TEST_F(MainWindowTest, DnsServerSpecificationInTheTasksMenuAsks) {
    TForm1 form(TestWindowOptions());
    QAction* entry = Named<QAction>(form, "DNSServerSpecification1");
    ASSERT_TRUE(entry->isEnabled());
    prompts.messages.clear();
    prompts.inputs = {QString("127.0.0.53")};
    entry->trigger();
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().caption, "DNS Server Specification");
    EXPECT_EQ(form.Session().DNSLists().servers.value(0), "127.0.0.53");
}

} // namespace
