#include "AiosmtpdServer.h"
#include "DnsmasqServer.h"
#include "FreeTcpPort.h"
#include "MailTestSupport.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kMailHost = QStringLiteral("127.66.1.1");
const QString kDns = QStringLiteral("127.66.1.53");
const QString kSince = QStringLiteral("Thu Dec 10, 2026 11:22:33");

// A real SMTP server that the exchanger of velmora.test points to, found
// through a real DNS server that adds the exchanger's address.
class SMTPAiosmtpdTest : public TDeliveryFixture {
protected:
    static inline QTemporaryDir* maildir = nullptr;
    static inline TAiosmtpdServer* smtp = nullptr;
    static inline TDnsmasqServer* dns = nullptr;
    static inline quint16 smtpPort = 0, dnsPort = 0;

    static void SetUpTestSuite() {
        if (!TAiosmtpdServer::Available() || !TDnsmasqServer::Available())
            return;
        maildir = new QTemporaryDir;
        smtpPort = FreeTcpPort(kMailHost);
        smtp = new TAiosmtpdServer(kMailHost, smtpPort, maildir->filePath("mail"));
        dnsPort = FreeTcpPort(kDns);
        dns = new TDnsmasqServer(kDns, dnsPort,
                                 {"--mx-host=velmora.test,mx1.velmora.test,10",
                                  "--host-record=mx1.velmora.test," + kMailHost});
    }
    static void TearDownTestSuite() {
        delete smtp;
        delete dns;
        delete maildir;
        smtp = nullptr;
        dns = nullptr;
        maildir = nullptr;
    }

    void SetUp() override {
        if (!smtp || !dns)
            GTEST_SKIP() << "python3-aiosmtpd or dnsmasq is not installed "
                            "(scripts/packages.txt lists both)";
        ASSERT_EQ(smtp->Error(), QString());
        ASSERT_EQ(dns->Error(), QString());
        rig.client.SetPort(smtpPort);
        rig.client.SetDNSPort(dnsPort);
        rig.dnsServers = {kDns};
        rig.email.debugEMAIL = false;
        EMAILTimer.start(5000);
    }

    // The alert of a device that went down, delivered by one tick.
    QString DeliverDownAlert(const QString& location) {
        const int before = int(smtp->Messages().size());
        queue.QueueAlert({"ops@velmora.test"}, "10.1.2.3", location, "DOWN", kSince);
        QSignalSpy spy(&delivery, &TMailDelivery::DeliveryFinished);
        delivery.EMAILTimerTimer();
        EXPECT_TRUE(spy.wait(15000));
        EXPECT_EQ(spy.value(0).value(0).toBool(), true);
        EXPECT_TRUE(queue.IsEmpty());
        // The server may store the message a moment after its reply.
        QStringList messages;
        for (int i = 0; i < 50 && messages.size() <= before; ++i) {
            QTest::qWait(50);
            messages = smtp->Messages();
        }
        return messages.size() > before ? messages.last() : QString();
    }
};

TEST_F(SMTPAiosmtpdTest, DownAlertArrivesThroughTheExchanger) {
    const QString stored = DeliverDownAlert("Router room");
    ExpectAlertMessage(stored, kSince, "Router room [ 10.1.2.3 ]  DOWN on: " + kSince);
    EXPECT_TRUE(stored.contains("X-RcptTo: ops@velmora.test"));
    EXPECT_EQ(rig.log, (QStringList{"EMAIL sent to: ops@velmora.test, " + kSince,
                                    "Message Body: Router room [ 10.1.2.3 ]  DOWN on: " + kSince,
                                    "Delivered EMAIL deleted from notification queue.", "",
                                    "EMAIL queue is empty.", ""}));
}

TEST_F(SMTPAiosmtpdTest, StaticServerAndTextsThatCouldBreakTheMessage) {
    rig.email.useMXAddress = true;
    rig.email.mxAddress = kMailHost;
    // A leading dot survives; line breaks cannot end the message or add
    // commands.
    ExpectAlertMessage(DeliverDownAlert(".Annex"), kSince,
                       ".Annex [ 10.1.2.3 ]  DOWN on: " + kSince);
    const int before = int(smtp->Messages().size());
    ExpectAlertMessage(DeliverDownAlert("Lab\r\n.\r\nMAIL FROM:<spam@velmora.test>"), kSince,
                       "Lab . MAIL FROM:<spam@velmora.test> [ 10.1.2.3 ]  DOWN on: " + kSince);
    EXPECT_EQ(smtp->Messages().size(), before + 1);
}

} // namespace
