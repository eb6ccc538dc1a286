#include "CycleSteps.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "devices/DeviceGrid.h"
#include "mail/EMAILLog.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorLog.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/IniFile.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct SavedStateTest : ::testing::Test {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    QString ini() const { return folder.file("velmora.ini"); }
    static TForm1::Options options() {
        TForm1::Options o;
        o.quitOnClose = false;
        return o;
    }
    void write(const QByteArray& text) { WriteTestFile(ini(), text); }
};

TEST_F(SavedStateTest, TheRunningStateSurvivesARestart) {
    write("[VELMORA Settings]\r\nsaveStateOnExit=1\r\n[DNS Settings]\r\nDNS-0=127.0.0.53\r\n");
    {
        TForm1 form(options());
        ASSERT_TRUE(Named<TMonitorSetupPage>(form, "MonitorSetup")->cbSaveState->isChecked());
        form.Session().Cycle().StopTimers();
        form.Session().Grid().SetGridHeader();
        std::array<QString, Col::Count> full, sparse;
        for (int c = 0; c < Col::Count; ++c)
            full[size_t(c)] = QString("c%1").arg(c);
        sparse[0] = "10.0.0.9";
        sparse[1] = "no statistics yet";
        sparse[2] = "No";
        form.Session().Grid().AppendRow(full);
        form.Session().Grid().AppendRow(sparse);
        form.Session().Grid().SetCell(1, Col::PktsSent, "41");
        Named<TMonitorLog>(form, "VelmoraMemo")
            ->AppendMonitorLog("DOWN\t10.0.0.9\tsome time\tno statistics yet");
        Named<TEMAILLog>(form, "EMAILLog")->AppendLine("EMAIL sent to: a@b.c, t");
        form.Session().Queue().Append({"a@b.c", "Velmora Alert", "x [ 10.0.0.9 ]  DOWN on: t"});
        StepToNextDevice(form.Session().Cycle()); // the first device
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        ASSERT_TRUE(form.close());
    }
    TForm1 form(options());
    ASSERT_EQ(form.Session().Grid().RowCount(), 3);
    for (int c = 0; c < Col::Count; ++c)
        EXPECT_EQ(form.Session().Grid().Cell(1, c),
                  c == Col::PktsSent ? "41" : QString("c%1").arg(c));
    EXPECT_EQ(form.Session().Grid().Cell(2, 1), "no statistics yet");
    for (int c = 3; c < Col::Count; ++c)
        EXPECT_EQ(form.Session().Grid().Cell(2, c), "") << "column " << c;
    EXPECT_FALSE(form.Session().Grid().Notification(1).pending);
    EXPECT_EQ(Named<TMonitorLog>(form, "VelmoraMemo")->Lines(),
              QStringList{"DOWN\t10.0.0.9\tsome time\tno statistics yet"});
    EXPECT_EQ(Named<TEMAILLog>(form, "EMAILLog")->Lines(), QStringList{"EMAIL sent to: a@b.c, t"});
    ASSERT_EQ(form.Session().Queue().Count(), 1u);
    EXPECT_EQ(form.Session().Queue().Head().details, "x [ 10.0.0.9 ]  DOWN on: t");
    EXPECT_EQ(form.Session().Cycle().CurrentRow(), 1); // the next probe goes to row 2
}

TEST_F(SavedStateTest, MissingGridSectionGivesTheLoopbackRowAndOddEntriesDoNotStopStartUp) {
    write("[VELMORA Settings]\r\nsaveStateOnExit=1\r\n[DNS Settings]\r\nDNS-0=127.0.0.53\r\n"
          "[SaveOnExit_EMAILQueue]\r\nrow-0=only-an-address\r\n");
    TForm1 form(options());
    ASSERT_EQ(form.Session().Grid().RowCount(), 2);
    EXPECT_EQ(form.Session().Grid().Cell(1, 0), "127.0.0.1");
    ASSERT_EQ(form.Session().Queue().Count(), 1u);
    EXPECT_EQ(form.Session().Queue().Head().address, "only-an-address");
    EXPECT_EQ(form.Session().Queue().Head().details, "");
}

TEST_F(SavedStateTest, AStateThatCannotBeWrittenKeepsTheWindowOpenAndMonitoring) {
    write("[VELMORA Settings]\r\nsaveStateOnExit=1\r\n[DNS Settings]\r\nDNS-0=127.0.0.53\r\n");
    TForm1 form(options());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(QFile::remove(ini()));
    ASSERT_TRUE(QDir().mkpath(ini())); // every write now fails
    prompts.messages.clear();
    EXPECT_FALSE(form.close());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Unable to write to " + ini());
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.Session().ClosePending());
    EXPECT_TRUE(Named<QTimer>(form.Session(), "TimerTime")->isActive());
    EXPECT_TRUE(form.Session().Cycle().TimerInterSite().isActive());
}

} // namespace
