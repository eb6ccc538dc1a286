// The session's rules without a window: start-up from the settings file,
// the close rule, and the state kept across a restart.
#include "session/Session.h"
#include "CycleSteps.h"
#include "TestFiles.h"
#include "devices/DeviceGrid.h"
#include "mail/MailDelivery.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "platform/Prompts.h"

#include <QHostInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace {

struct SessionTest : ::testing::Test {
    QTemporaryDir dir;
    TDefaultPrompts prompts;
    QStringList asked;

    QString ini() const { return dir.filePath("velmora.ini"); }
    std::unique_ptr<TSession> session(TMonitorCycle::EchoFunction echo = {}) {
        prompts.log = [this](const QString& l) { asked << l; };
        TSession::Options o;
        o.settingsPath = ini();
        o.prompts = &prompts;
        o.echo = std::move(echo);
        return std::make_unique<TSession>(o);
    }
};

TEST_F(SessionTest, StartUpTakesTheSettingsAndTheDataFile) {
    WriteTestFile(dir.filePath("net.dat"), "10.0.0.2\tbeta\r\n10.0.0.1\talpha\tYes\r\n");
    WriteTestFile(ini(), "[VELMORA Settings]\r\nDATFile=" + dir.filePath("net.dat").toUtf8() +
                             "\r\nVelmoraPacketsPerSite=3\r\nVelmoraInterSiteDelay=9\r\n"
                             "SitesCritical=2\r\n[DNS Settings]\r\nDNS-0=127.0.0.53\r\n");
    auto s = session();
    s->Start();
    EXPECT_EQ(s->Monitor().packetsPerSite, 3);
    EXPECT_EQ(s->Cycle().TimerInterSite().interval(), 9000);
    EXPECT_EQ(s->Email().sitesCritical, 2);
    EXPECT_EQ(s->ShownDnsServer(), "127.0.0.53");
    ASSERT_EQ(s->Grid().RowCount(), 3);
    EXPECT_EQ(s->Grid().Cell(1, 1), "alpha");
    EXPECT_TRUE(asked.isEmpty()) << "a server is set: nothing to ask";
    EXPECT_EQ(s->Settings().Loads(), 1u) << "one parse for all of start-up";
}

// This computer's address is looked up without holding start-up: it comes
// from the event loop afterwards, the first IPv4 address of the name.
TEST_F(SessionTest, LocalAddressIsLookedUpAfterStartUp) {
    prompts.log = [this](const QString& l) { asked << l; };
    TSession::Options o;
    o.settingsPath = ini();
    o.prompts = &prompts;
    o.hostName = [] { return std::optional<QString>("localhost"); };
    WriteTestFile(ini(), "[DNS Settings]\r\nDNS-0=127.0.0.53\r\n");
    TSession s(o);
    s.Start();
    EXPECT_EQ(s.LocalHostName(), "localhost");
    EXPECT_TRUE(s.LocalHostIP().isEmpty());
    QString expected;
    for (const QHostAddress& a : QHostInfo::fromName("localhost").addresses())
        if (expected.isEmpty() && a.protocol() == QAbstractSocket::IPv4Protocol)
            expected = a.toString();
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !s.LocalHostIP().isEmpty(); }, 5000));
    EXPECT_EQ(s.LocalHostIP(), expected);
}

TEST_F(SessionTest, FirstStartWithoutAnswerLeavesTheDnsServerUnsetAndSaysSo) {
    auto s = session();
    s->Start();
    EXPECT_TRUE(s->DNSLists().servers.isEmpty());
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].startsWith("DNS Server Specification: ")) << asked[0].toStdString();
    EXPECT_EQ(s->Grid().Cell(1, 0), "127.0.0.1");
}

TEST_F(SessionTest, CloseWaitsForTheProbeAndTheClockRetriesIt) {
    auto s = session([](const QString&, int) {
        QThread::msleep(300);
        TEchoResult r;
        r.replied = true;
        return r;
    });
    s->Start();
    s->Cycle().StopTimers();
    s->Cycle().TimerInterSiteTimer();
    s->Cycle().StopTimers();
    s->Cycle().TimerInterPacketTimer();
    ASSERT_TRUE(s->Running().probe);
    EXPECT_FALSE(s->RequestClose());
    EXPECT_TRUE(s->ClosePending());
    QSignalSpy retry(s.get(), &TSession::CloseRetry);
    s->TimerTimeTimer();
    EXPECT_EQ(retry.count(), 0) << "still probing";
    QSignalSpy done(&s->Cycle(), &TMonitorCycle::packetDone);
    ASSERT_TRUE(done.wait(5000));
    EXPECT_FALSE(s->Cycle().TimerInterPacket().isActive()) << "the cycle winds down";
    s->TimerTimeTimer();
    EXPECT_EQ(retry.count(), 1);
    EXPECT_TRUE(s->RequestClose());
    EXPECT_TRUE(s->Closed());
}

TEST_F(SessionTest, SavedStateComesBackInTheNextSession) {
    {
        auto s = session();
        s->Start();
        TMonitorSettings m = s->Monitor();
        m.saveStateOnExit = true;
        s->SetMonitorSettings(m);
        s->ButtonApplySettingsClick();
        s->Grid().SetCell(1, Col::PktsSent, "41");
        s->MonitorLog().Append("DOWN\t127.0.0.1\tsome time\tloopback");
        s->Queue().Append({"ops@velmora.test", "Velmora Alert", "loopback DOWN"});
        StepToNextDevice(s->Cycle()); // the first device
        const quint64 before = s->Settings().Replacements();
        ASSERT_TRUE(s->RequestClose());
        EXPECT_EQ(s->Settings().Replacements() - before, 1u);
    }
    auto s = session();
    s->Start();
    EXPECT_EQ(s->Grid().Cell(1, Col::PktsSent), "41");
    EXPECT_EQ(s->MonitorLog().Lines(), QStringList{"DOWN\t127.0.0.1\tsome time\tloopback"});
    ASSERT_EQ(s->Queue().Count(), 1u);
    EXPECT_EQ(s->Queue().Head().details, "loopback DOWN");
    EXPECT_EQ(s->Cycle().CurrentRow(), 1);
}

} // namespace
