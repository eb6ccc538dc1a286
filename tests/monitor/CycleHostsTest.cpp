// The whole monitoring stack (window, cycle, real pinger, transition rules,
// queue) against namespace test hosts: one that answers, one that never
// does, one whose link the test takes down and brings back, and one behind
// a router that reports it unreachable.
#include "AiosmtpdServer.h"
#include "DnsmasqServer.h"
#include "FreeTcpPort.h"
#include "GridColumn.h"
#include "IcmpHosts.h"
#include "NamespaceEcho.h"
#include "TestSupport.h"
#include "devices/DeviceGrid.h"
#include "dns/DNSResolverPage.h"
#include "icmp/Pinger.h"
#include "mail/EMAILLog.h"
#include "mail/MailDelivery.h"
#include "mail/SMTPClient.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorLog.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/Clock.h"
#include "platform/ClockTexts.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct CycleHostsTest : ::testing::Test {
    std::unique_ptr<TIcmpHosts> hosts;
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    TManualClock clock{QDateTime(QDate(2026, 12, 10), QTime(9, 0, 0))};
    std::unique_ptr<TForm1> form;

    void SetUp() override {
        if (const std::string why = TIcmpHosts::Unavailable(); !why.empty())
            GTEST_SKIP() << why;
        hosts = std::make_unique<TIcmpHosts>("vm-cyc");
        ASSERT_TRUE(hosts->problem().empty()) << hosts->problem();
        SetClock(&clock);
        TForm1::Options o;
        o.quitOnClose = false;
        form = std::make_unique<TForm1>(o);
        form->Session().Cycle().StopTimers();
        Named<TMonitorSetupPage>((*form), "MonitorSetup")->UpDownVelmoraPingTimeOut->setValue(1);
        Named<TMonitorSetupPage>((*form), "MonitorSetup")->UpDownVelmoraPacketsPerSite->setValue(1);
        form->Session().Email().sitesCritical = 1;
        form->Session().NotifyAddresses() = {"ops@example.org"};
        // The probes run from the client namespace, with the real pinger.
        form->Session().Cycle().SetEcho(EchoFromNamespace(*hosts, "c"));
        form->Session().Grid().SetGridHeader();
        for (auto [address, location] :
             {std::pair{"10.231.1.2", "answers"}, std::pair{"10.231.2.2", "silent"},
              std::pair{"10.231.3.2", "flaky"}, std::pair{"10.231.5.2", "behind router"}}) {
            std::array<QString, Col::Count> cells;
            cells[0] = address;
            cells[1] = location;
            cells[2] = "Yes";
            form->Session().Grid().AppendRow(cells);
        }
    }
    void TearDown() override { SetClock(nullptr); }

    // One full pass: every device once, as the timers would run it.
    void pass() {
        for (int i = 1; i < form->Session().Grid().RowCount(); ++i) {
            form->Session().TimerTimeTimer(); // the clock text of this moment
            form->Session().Cycle().TimerInterSiteTimer();
            form->Session().Cycle().StopTimers();
            QSignalSpy done(&form->Session().Cycle(), &TMonitorCycle::packetDone);
            form->Session().Cycle().TimerInterPacketTimer();
            ASSERT_TRUE(done.wait(10000));
            ASSERT_FALSE(form->Session().Cycle().Busy());
            form->Session().Cycle().StopTimers();
        }
    }
    QStringList statuses() const { return GridColumn(form->Session().Grid(), Col::Status); }
    QStringList queued() const {
        QStringList d;
        for (const TQueueEntry& e : form->Session().Queue().Entries())
            d << e.details;
        return d;
    }
};

TEST_F(CycleHostsTest, StatisticsStatusLogAndImmediateAlerts) {
    const QString t1 = ClockText(clock.now());
    pass();
    EXPECT_EQ(statuses(), (QStringList{"Up", "DOWN", "Up", "DOWN"}));
    EXPECT_EQ(form->Session().Grid().Cell(1, Col::PktsSent), "1");
    EXPECT_EQ(form->Session().Grid().Cell(1, Col::PktsRecd), "1");
    EXPECT_EQ(form->Session().Grid().Cell(1, Col::PercentOk), "100");
    EXPECT_FALSE(form->Session().Grid().Cell(1, Col::MinResp).isEmpty());
    EXPECT_EQ(form->Session().Grid().Cell(2, Col::PktsSent), "2"); // the echo and its retry
    EXPECT_EQ(form->Session().Grid().Cell(2, Col::PercentOk), "0");
    EXPECT_EQ(form->Session().Grid().Cell(2, Col::PktsRecd), "");
    // First answers are logged but not mailed; first failures are mailed.
    EXPECT_EQ(queued(), (QStringList{"silent [ 10.231.2.2 ]  DOWN on: " + t1,
                                     "behind router [ 10.231.5.2 ]  DOWN on: " + t1}));
    EXPECT_EQ(
        Named<TMonitorLog>((*form), "VelmoraMemo")->toPlainText().split('\n'),
        (QStringList{"Up\t10.231.1.2\t" + t1 + "\tanswers", "DOWN\t10.231.2.2\t" + t1 + "\tsilent",
                     "Up\t10.231.3.2\t" + t1 + "\tflaky",
                     "DOWN\t10.231.5.2\t" + t1 + "\tbehind router"}));

    // The flaky host's link goes down, then comes back.
    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 down"));
    clock.advanceSecs(60);
    const QString t2 = ClockText(clock.now());
    form->Session().Queue().Clear();
    pass();
    EXPECT_EQ(statuses(), (QStringList{"Up", "DOWN", "DOWN", "DOWN"}));
    EXPECT_EQ(queued(), QStringList{"flaky [ 10.231.3.2 ]  DOWN on: " + t2});
    EXPECT_EQ(form->Session().Grid().Cell(3, Col::Since), t2);

    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 up"));
    clock.advanceSecs(60);
    form->Session().Queue().Clear();
    form->Session().Email().notifyOnUp = true;
    pass();
    EXPECT_EQ(statuses(), (QStringList{"Up", "DOWN", "Up", "DOWN"}));
    EXPECT_EQ(queued(), QStringList{"flaky [ 10.231.3.2 ]  Up on: " + ClockText(clock.now())});
}

TEST_F(CycleHostsTest, DelayedAlertCarriesTheTimeOfTheChange) {
    form->Session().Email().delayMinutes = 5;
    pass(); // every device gets its first state; the failures arm their records
    EXPECT_TRUE(queued().isEmpty());
    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 down"));
    clock.advanceSecs(10);
    const QString down = ClockText(clock.now());
    pass();
    EXPECT_TRUE(queued().isEmpty());
    clock.advanceSecs(301);
    pass();
    EXPECT_TRUE(queued().contains("flaky [ 10.231.3.2 ]  DOWN on: " + down));
    EXPECT_EQ(queued().size(), 3); // with the two devices down from the start
}

// From the echo to the mailbox: a host that stops answering is mailed
// through the exchanger that a real DNS server names, to a real SMTP server.
TEST_F(CycleHostsTest, ADownHostEndsAsAMessageInTheMailbox) {
    if (!TAiosmtpdServer::Available() || !TDnsmasqServer::Available())
        GTEST_SKIP() << "python3-aiosmtpd or dnsmasq is missing (see scripts/packages.txt)";
    const QString mailHost = "127.66.3.1", dnsHost = "127.66.3.53";
    QTemporaryDir maildir;
    const quint16 smtpPort = FreeTcpPort(mailHost), dnsPort = FreeTcpPort(dnsHost);
    TAiosmtpdServer server(mailHost, smtpPort, maildir.filePath("mail"));
    TDnsmasqServer dns(dnsHost, dnsPort,
                       {"--mx-host=velmora.test,mx1.velmora.test,10",
                        "--host-record=mx1.velmora.test," + mailHost});
    ASSERT_EQ(server.Error(), QString());
    ASSERT_EQ(dns.Error(), QString());
    prompts.inputs = {dnsHost}; // "DNS Server Specification..."
    Named<TDNSResolverPage>((*form), "TDNSResolverPage")->GetDNSAddress1Click();
    ASSERT_EQ(Named<TDNSResolverPage>((*form), "TDNSResolverPage")->ShownServer(), dnsHost);
    form->Session().Smtp().SetPort(smtpPort);
    form->Session().Smtp().SetDNSPort(dnsPort);
    form->Session().Email().yourAddress = "velmora@velmora.test";
    form->Session().Email().debugEMAIL = true; // the EMAIL Log says why, should it fail
    form->Session().SetLocalHostIP("127.0.0.1");
    form->Session().NotifyAddresses() = {"ops@velmora.test"};
    form->Session().Grid().RemoveRow(4);
    form->Session().Grid().RemoveRow(3);
    form->Session().Grid().RemoveRow(1); // the silent host alone

    const QString since = ClockText(clock.now());
    pass();
    ASSERT_EQ(queued(), QStringList{"silent [ 10.231.2.2 ]  DOWN on: " + since});
    QSignalSpy finished(&form->Session().Delivery(), &TMailDelivery::DeliveryFinished);
    form->Session().Delivery().EMAILTimerTimer();
    ASSERT_TRUE(finished.wait(15000));
    EXPECT_TRUE(finished.at(0).at(0).toBool())
        << Named<TEMAILLog>((*form), "EMAILLog")->toPlainText().toStdString();
    EXPECT_TRUE(form->Session().Queue().IsEmpty());

    QStringList messages;
    for (int i = 0; i < 50 && messages.isEmpty(); ++i) {
        QTest::qWait(50);
        messages = server.Messages();
    }
    ASSERT_EQ(messages.size(), 1);
    QStringList lines = messages[0].split('\n');
    for (QString& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    const qsizetype blank = lines.indexOf(QString());
    ASSERT_GT(blank, 0);
    QStringList headers = lines.mid(0, blank);
    headers.removeIf([](const QString& h) { return h.startsWith("X-"); }); // the server's own
    EXPECT_EQ(headers,
              (QStringList{"Date: " + since, "From: velmora@velmora.test", "Subject: Velmora Alert",
                           "Reply-To: velmora@velmora.test", "To: ops@velmora.test"}));
    EXPECT_EQ(lines.value(blank + 1), "silent [ 10.231.2.2 ]  DOWN on: " + since);
}

} // namespace
