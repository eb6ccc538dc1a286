// The window's side of the history: "Keep History (days):" on Monitor Setup,
// shown from the settings file and applied without a restart.
#include "TestFiles.h"
#include "TestSupport.h"
#include "history/HistoryStore.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/FileFolders.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

bool WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(50);
    }
    return true;
}

struct HistoryWindowTest : ::testing::Test {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    std::unique_ptr<TForm1> form;

    QString ini() const { return folder.file(QStringLiteral("velmora.ini")); }
    QString store() const { return DataFolder() + THistoryStore::FileName(); }

    void open(const QByteArray& settings) {
        WriteTestFile(folder.file("net.dat"), "10.0.0.1\talpha\r\n");
        WriteTestFile(ini(), "[VELMORA Settings]\r\nDATFile=" + folder.file("net.dat").toUtf8() +
                                 "\r\nVelmoraInterSiteDelay=1\r\nVelmoraInterPacketDelay=100\r\n" +
                                 settings + "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
        start();
    }
    void start() {
        TForm1::Options o;
        o.quitOnClose = false;
        form = std::make_unique<TForm1>(o);
        form->Session().Cycle().SetEcho([](const QString&, int) {
            TEchoResult r;
            r.replied = true;
            r.roundTripTime = 1;
            return r;
        });
    }
    TMonitorSetupPage* page() { return Named<TMonitorSetupPage>(*form, "MonitorSetup"); }
    QSpinBox* spin() { return Named<QSpinBox>(*form, "UpDownHistoryDays"); }
    void enter(int days) {
        QSpinBox* s = spin();
        s->setFocus();
        s->selectAll();
        QTest::keyClicks(s, QString::number(days));
        QTest::keyClick(s, Qt::Key_Tab);
        QTest::mouseClick(page()->ButtonApplySettings, Qt::LeftButton);
    }
    size_t echoes() const {
        return THistoryStore::QueryEchoes(store(), QStringLiteral("10.0.0.1"), 0,
                                          QDateTime::currentMSecsSinceEpoch() + 60000)
            .size();
    }
};

TEST_F(HistoryWindowTest, TheFieldIsTheBuddyOfItsLabelAndShowsTheKey) {
    ASSERT_NO_FATAL_FAILURE(open("HistoryDays=45\r\n"));
    QSpinBox* s = spin();
    ASSERT_TRUE(s);
    const QLabel* label = nullptr;
    for (const QLabel* l : page()->findChildren<QLabel*>())
        if (l->text() == QLatin1String("Keep History (days):"))
            label = l;
    ASSERT_TRUE(label) << "no \"Keep History (days):\" label";
    EXPECT_EQ(label->buddy(), s);
    EXPECT_EQ(s->minimum(), 0);
    EXPECT_EQ(s->maximum(), 3650);
    EXPECT_EQ(s->value(), 45);
}

TEST_F(HistoryWindowTest, ApplyOpensTheStoreFromZeroAndClosesItAtZero) {
    ASSERT_NO_FATAL_FAILURE(open("HistoryDays=0\r\n"));
    EXPECT_EQ(spin()->value(), 0);
    QTest::qWait(1500);
    EXPECT_FALSE(QFileInfo::exists(store())) << "0 writes no file";

    enter(30);
    EXPECT_TRUE(ReadTestFile(ini()).contains("HistoryDays=30\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(store()) && echoes() > 0; }, 10000))
        << "no echoes kept after Apply";

    enter(0);
    EXPECT_TRUE(ReadTestFile(ini()).contains("HistoryDays=0\r\n"));
    // Whatever was queued is committed on close; nothing after.
    QTest::qWait(500);
    const size_t kept = echoes();
    QTest::qWait(2500);
    EXPECT_EQ(echoes(), kept) << "echoes still kept at 0";

    // The next start shows what Apply wrote.
    form.reset();
    start();
    EXPECT_EQ(spin()->value(), 0);
}

} // namespace
