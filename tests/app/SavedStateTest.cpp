#include "TestFiles.h"
#include "TestSupport.h"
#include "app/MainWindow.h"
#include "app/MonitorSetupPage.h"
#include "devices/DeviceGrid.h"
#include "mail/EMAILLog.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorLog.h"
#include "platform/IniFile.h"

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
        ASSERT_TRUE(form.MonitorSetup->cbSaveState->isChecked());
        form.cycle->StopTimers();
        form.grid->SetGridHeader();
        std::array<QString, Col::Count> full, sparse;
        for (int c = 0; c < Col::Count; ++c)
            full[size_t(c)] = QString("c%1").arg(c);
        sparse[0] = "10.0.0.9";
        sparse[1] = "no statistics yet";
        sparse[2] = "No";
        form.grid->AppendRow(full);
        form.grid->AppendRow(sparse);
        form.grid->SetCell(1, Col::PktsSent, "41");
        form.VelmoraMemo->AppendMonitorLog("DOWN\t10.0.0.9\tsome time\tno statistics yet");
        form.EMAILLog->AppendLine("EMAIL sent to: a@b.c, t");
        form.queue.Append({"a@b.c", "Velmora Alert", "x [ 10.0.0.9 ]  DOWN on: t"});
        form.cycle->currentRow = 1;
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        ASSERT_TRUE(form.close());
    }
    TForm1 form(options());
    ASSERT_EQ(form.grid->RowCount(), 3);
    for (int c = 0; c < Col::Count; ++c)
        EXPECT_EQ(form.grid->Cell(1, c), c == Col::PktsSent ? "41" : QString("c%1").arg(c));
    EXPECT_EQ(form.grid->Cell(2, 1), "no statistics yet");
    for (int c = 3; c < Col::Count; ++c)
        EXPECT_EQ(form.grid->Cell(2, c), "") << "column " << c;
    EXPECT_FALSE(form.grid->Notification(1).pending);
    EXPECT_EQ(form.VelmoraMemo->Lines(),
              QStringList{"DOWN\t10.0.0.9\tsome time\tno statistics yet"});
    EXPECT_EQ(form.EMAILLog->Lines(), QStringList{"EMAIL sent to: a@b.c, t"});
    ASSERT_EQ(form.queue.Count(), 1u);
    EXPECT_EQ(form.queue.Head().details, "x [ 10.0.0.9 ]  DOWN on: t");
    EXPECT_EQ(form.cycle->currentRow, 1); // the next probe goes to row 2
}

TEST_F(SavedStateTest, MissingGridSectionGivesTheLoopbackRowAndOddEntriesDoNotStopStartUp) {
    write("[VELMORA Settings]\r\nsaveStateOnExit=1\r\n[DNS Settings]\r\nDNS-0=127.0.0.53\r\n"
          "[SaveOnExit_EMAILQueue]\r\nrow-0=only-an-address\r\n");
    TForm1 form(options());
    ASSERT_EQ(form.grid->RowCount(), 2);
    EXPECT_EQ(form.grid->Cell(1, 0), "127.0.0.1");
    ASSERT_EQ(form.queue.Count(), 1u);
    EXPECT_EQ(form.queue.Head().address, "only-an-address");
    EXPECT_EQ(form.queue.Head().details, "");
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
    EXPECT_FALSE(form.closePending);
    EXPECT_TRUE(form.TimerTime.isActive());
    EXPECT_TRUE(form.cycle->TimerInterSite.isActive());
}

} // namespace
