#include "DnsmasqServer.h"
#include "FreeTcpPort.h"
#include "MailTestSupport.h"
#include "ScriptedSmtpServer.h"
#include "dns/DNSResolver.h"

#include "StallMeter.h"
#include <QElapsedTimer>
#include <QTest>
#include <QUdpSocket>
#include <gtest/gtest.h>

namespace {

const QString kTo = QStringLiteral("ops@velmora.test");
const QString kSubject = QStringLiteral("Velmora Alert");
const QString kDetails = QStringLiteral("Router room [ 10.1.2.3 ]  DOWN on: Thu Dec 10, 2026");

// The log lines of one connected, complete dialogue with the default
// script, from the greeting to the QUIT reply.
QStringList DialogueLines(const QString& server, const QString& to) {
    return {":::Attempting to connect to MAIL Server at address: " + server,
            ":::Connected to MAIL Server at address: " + server,
            "220 scripted ESMTP",
            "--",
            ">>>HELO [127.0.0.1]",
            "",
            "250 scripted",
            "--",
            ">>>MAIL FROM:<velmora@velmora.test>",
            "",
            "250 OK",
            "--",
            ">>>RCPT TO:<" + to + ">",
            "",
            "250 OK",
            "--",
            ">>>DATA",
            "",
            "354 End data with <CR><LF>.<CR><LF>",
            "--",
            ">>>Date: Thu Dec 10, 2026 11:22:33",
            "From: velmora@velmora.test",
            "Subject: Velmora Alert",
            "Reply-To: velmora@velmora.test",
            "To: " + to,
            "",
            kDetails,
            ".",
            "",
            "250 OK queued",
            "--",
            ">>>QUIT",
            "",
            "",
            "221 Bye",
            ":::Disconnecting from Mail Server at address: " + server};
}

class SMTPClientTest : public ::testing::Test {
protected:
    TMailRig rig;

    void UseStatic(const TScriptedSmtpServer& server, const QString& address) {
        rig.email.useMXAddress = true;
        rig.email.mxAddress = address;
        rig.client.SetPort(server.Port());
    }
};

TEST_F(SMTPClientTest, StaticServerTranscriptAndLogAreExact) {
    const QString address = QStringLiteral("127.66.2.1");
    TScriptedSmtpServer server(address, 0, {});
    ASSERT_TRUE(server.Listening());
    UseStatic(server, address);

    EXPECT_EQ(rig.Deliver(kTo, kSubject, kDetails), std::optional<bool>(true));
    EXPECT_EQ(server.Received(),
              QByteArray("HELO [127.0.0.1]\r\nMAIL FROM:<velmora@velmora.test>\r\n"
                         "RCPT TO:<ops@velmora.test>\r\nDATA\r\n"
                         "Date: Thu Dec 10, 2026 11:22:33\r\nFrom: velmora@velmora.test\r\n"
                         "Subject: Velmora Alert\r\nReply-To: velmora@velmora.test\r\n"
                         "To: ops@velmora.test\r\n\r\n") +
                  kDetails.toUtf8() + "\r\n.\r\nQUIT\r\n");
    QStringList expected = DialogueLines(address, kTo);
    expected << "EMAIL sent to: ops@velmora.test, Thu Dec 10, 2026 11:22:33"
             << "Message Body: " + kDetails;
    EXPECT_EQ(rig.log, expected);
    EXPECT_FALSE(rig.client.Busy());
    EXPECT_FALSE(rig.client.TimerSMTP.isActive());
    EXPECT_FALSE(rig.client.TimerSMTP2.isActive());
}

TEST_F(SMTPClientTest, WithoutDebugOnlyTheDeliveryLinesAreWritten) {
    const QString address = QStringLiteral("127.66.2.1");
    TScriptedSmtpServer server(address, 0, {});
    UseStatic(server, address);
    rig.email.debugEMAIL = false;
    // Brackets already there are kept as they are.
    EXPECT_EQ(rig.Deliver("<ops@velmora.test>", kSubject, kDetails), std::optional<bool>(true));
    EXPECT_TRUE(server.Received().contains("RCPT TO:<ops@velmora.test>\r\n"));
    EXPECT_EQ(rig.log, (QStringList{"EMAIL sent to: <ops@velmora.test>, Thu Dec 10, 2026 11:22:33",
                                    "Message Body: " + kDetails}));
}

TEST_F(SMTPClientTest, RefusedBeforeAnyConnection) {
    struct Case {
        const char* recipient;
        bool useStatic;
        const char* staticServer;
        QStringList dnsServers;
        bool closePending;
        QString line;
    };
    const std::vector<Case> cases{
        {"   ", false, "", {"127.0.0.1"}, false, ":::Empty Notification EMAIL Address."},
        {"ops@velmora.test",
         true,
         " ",
         {"127.0.0.1"},
         false,
         ":::Address required for Static MX Server."},
        {"nobody", false, "", {"127.0.0.1"}, false, ":::Invalid EMAIL Address Specified."},
        {"a@b@velmora.test",
         false,
         "",
         {"127.0.0.1"},
         false,
         ":::Invalid EMAIL Address Specified."},
        {"ops@", false, "", {"127.0.0.1"}, false, ":::Invalid EMAIL Address Specified."},
        {"ops@velmora.test", false, "", {}, false, ":::No DNS Server Address Specified."},
        // A close asked for ends the delivery before the lookup, silently.
        {"ops@velmora.test", false, "", {"127.0.0.1"}, true, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.recipient);
        rig.log.clear();
        rig.email.useMXAddress = c.useStatic;
        rig.email.mxAddress = c.staticServer;
        rig.dnsServers = c.dnsServers;
        rig.closePending = c.closePending;
        EXPECT_EQ(rig.Deliver(c.recipient, kSubject, kDetails, 0), std::optional<bool>(false));
        EXPECT_EQ(rig.log, c.line.isEmpty() ? QStringList() : QStringList{c.line});
        EXPECT_FALSE(rig.client.Busy());
    }
}

TEST_F(SMTPClientTest, EmptyLocalPartProceeds) {
    const QString address = QStringLiteral("127.66.2.1");
    TScriptedSmtpServer server(address, 0, {});
    UseStatic(server, address);
    EXPECT_EQ(rig.Deliver("@velmora.test", kSubject, kDetails), std::optional<bool>(true));
    EXPECT_TRUE(server.Received().contains("RCPT TO:<@velmora.test>\r\n"));
}

// A sender or recipient that would break a command line is refused before
// the command goes out, debug or not: nothing after the last whole command
// reaches the server, and the log says which command it was.
TEST_F(SMTPClientTest, LineBreakInACommandValueIsRefused) {
    const QString address = QStringLiteral("127.66.2.5");
    struct Case {
        const char* name;
        QString sender, recipient;
        QByteArray received; // all the server gets
        QString line;
    };
    const std::vector<Case> cases{
        {"sender", "velmora@velmora.test\r\nRCPT TO:<all@velmora.test>", kTo,
         "HELO [127.0.0.1]\r\n",
         ":::Line break in the MAIL command for the MAIL Server at address 127.66.2.5; nothing "
         "sent."},
        {"recipient", "velmora@velmora.test", "ops\nDATA@velmora.test",
         "HELO [127.0.0.1]\r\nMAIL FROM:<velmora@velmora.test>\r\n",
         ":::Line break in the RCPT command for the MAIL Server at address 127.66.2.5; nothing "
         "sent."},
    };
    for (const bool debug : {true, false})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (debug ? " with debug" : " without debug"));
            TScriptedSmtpServer server(address, 0, {});
            UseStatic(server, address);
            rig.email.debugEMAIL = debug;
            rig.email.yourAddress = c.sender;
            rig.log.clear();
            EXPECT_EQ(rig.Deliver(c.recipient, kSubject, kDetails), std::optional<bool>(false));
            QTest::qWait(50);
            EXPECT_EQ(server.Received(), c.received);
            EXPECT_EQ(rig.LinesStarting(":::Line break"), QStringList{c.line});
            EXPECT_FALSE(rig.client.Busy());
        }
}

// A start-up address that is loopback (a host name resolving to 127.0.1.1)
// or missing says nothing to the server: HELO names the local end of the
// connection, as the server itself sees it. Any other address is used as
// it is (192.0.2.7 is only a text here; no traffic goes there).
TEST_F(SMTPClientTest, HeloNamesTheConnectionsAddressInPlaceOfLoopback) {
    const QString address = QStringLiteral("127.66.2.4");
    struct Case {
        const char* localIP;
        QString helo; // empty: the address the server saw
    };
    const std::vector<Case> cases{
        {"127.0.1.1", {}}, {"127.0.0.1", {}}, {"", {}}, {"  ", {}}, {"192.0.2.7", "192.0.2.7"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.localIP);
        TScriptedSmtpServer server(address, 0, {});
        ASSERT_TRUE(server.Listening());
        UseStatic(server, address);
        rig.localIP = c.localIP;
        EXPECT_EQ(rig.Deliver(kTo, kSubject, kDetails), std::optional<bool>(true));
        const QString seen = server.PeerAddress().toString();
        ASSERT_FALSE(seen.isEmpty());
        const QString helo = c.helo.isEmpty() ? seen : c.helo;
        EXPECT_TRUE(server.Received().startsWith("HELO [" + helo.toUtf8() + "]\r\n"))
            << server.Received().left(40).toStdString();
    }
}

// The transcript hook sees every line each way, in order.
TEST_F(SMTPClientTest, TranscriptHasEveryLineEachWay) {
    const QString address = QStringLiteral("127.66.2.1");
    TScriptedSmtpServer::Script script;
    script.replies["HELO"] = "250-scripted\r\n250 HELP\r\n";
    TScriptedSmtpServer server(address, 0, script);
    UseStatic(server, address);
    QStringList lines;
    rig.client.SetTranscript([&](TReplyEngine::TDirection d, const QString& line) {
        lines << (d == TReplyEngine::TDirection::Sent ? "> " : "< ") + line;
    });
    EXPECT_EQ(rig.Deliver(kTo, kSubject, kDetails), std::optional<bool>(true));
    EXPECT_EQ(lines, (QStringList{"< 220 scripted ESMTP",
                                  "> HELO [127.0.0.1]",
                                  "< 250-scripted",
                                  "< 250 HELP",
                                  "> MAIL FROM:<velmora@velmora.test>",
                                  "< 250 OK",
                                  "> RCPT TO:<ops@velmora.test>",
                                  "< 250 OK",
                                  "> DATA",
                                  "< 354 End data with <CR><LF>.<CR><LF>",
                                  "> Date: Thu Dec 10, 2026 11:22:33",
                                  "> From: velmora@velmora.test",
                                  "> Subject: Velmora Alert",
                                  "> Reply-To: velmora@velmora.test",
                                  "> To: ops@velmora.test",
                                  "> ",
                                  "> " + kDetails,
                                  "> .",
                                  "< 250 OK queued",
                                  "> QUIT",
                                  "< 221 Bye"}));
}

TEST_F(SMTPClientTest, StaticServerThatNeverGreets) {
    const QString address = QStringLiteral("127.66.2.2");
    TScriptedSmtpServer::Script silent;
    silent.greeting.reset();
    TScriptedSmtpServer server(address, 0, silent);
    UseStatic(server, address);
    rig.client.TimerSMTP.setInterval(300);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(rig.Deliver(kTo, kSubject, kDetails), std::optional<bool>(false));
    EXPECT_GE(t.elapsed(), 250); // timers may fire a little early
    EXPECT_EQ(
        rig.log,
        (QStringList{":::Attempting to connect to MAIL Server at address: " + address,
                     ":::Connected to MAIL Server at address: " + address,
                     ":::Disconnecting from Mail Server at address: " + address,
                     ":::Timeout occurred trying to connect to MAIL server at address: " + address,
                     ":::Could NOT connect to a MAIL Server at: " + address}));
    EXPECT_EQ(server.Received(), QByteArray());
}

// Exchangers from a real DNS server, each with its own SMTP peer.
class SMTPExchangerTest : public SMTPClientTest {
protected:
    static inline const QString kDns = QStringLiteral("127.66.2.53");
    quint16 dnsPort = 0;
    std::unique_ptr<TDnsmasqServer> dns;

    void SetUp() override {
        if (!TDnsmasqServer::Available())
            GTEST_SKIP() << "dnsmasq is not installed (scripts/packages.txt lists dnsmasq-base)";
        // dnsmasq takes UDP and TCP on its port.
        dnsPort = FreeTcpPort(kDns);
        dns = std::make_unique<TDnsmasqServer>(
            kDns, dnsPort,
            QStringList{"--mx-host=velmora.test,mx1.velmora.test,10",
                        "--mx-host=velmora.test,mx2.velmora.test,20",
                        "--mx-host=velmora.test,mx3.velmora.test,30",
                        "--host-record=mx1.velmora.test,127.66.2.11",
                        "--host-record=mx2.velmora.test,127.66.2.12",
                        "--host-record=mx3.velmora.test,127.66.2.13",
                        "--mx-host=bare.velmora.test,mail.elsewhere.test,10"});
        ASSERT_EQ(dns->Error(), QString());
        rig.dnsServers = {kDns};
        rig.client.SetDNSPort(dnsPort);
    }

    // The candidates in the order the client will try them.
    QStringList Candidates() {
        TDNSResolver r(dnsPort);
        r.Server = kDns;
        r.Query = "velmora.test";
        r.QueryType = 15;
        EXPECT_TRUE(r.Resolve());
        return r.AdditionalValues;
    }
};

TEST_F(SMTPExchangerTest, FirstTwoOfThreeNeverGreet) {
    const QStringList order = Candidates();
    ASSERT_EQ(order.size(), 3);
    const quint16 port = FreeTcpPort(order[0]);
    TScriptedSmtpServer::Script silent;
    silent.greeting.reset();
    TScriptedSmtpServer mute1(order[0], port, silent);
    TScriptedSmtpServer mute2(order[1], port, silent);
    TScriptedSmtpServer good(order[2], port, {});
    ASSERT_TRUE(mute1.Listening() && mute2.Listening() && good.Listening());
    rig.client.SetPort(port);
    rig.client.TimerSMTP.setInterval(400);

    QElapsedTimer t;
    t.start();
    EXPECT_EQ(rig.Deliver(kTo, kSubject, kDetails), std::optional<bool>(true));
    EXPECT_GE(t.elapsed(), 700);
    QStringList attempts;
    for (const QString& l : rig.log)
        if (l.startsWith(":::Attempt to connect") || l.startsWith(":::Timeout occurred"))
            attempts << l;
    EXPECT_EQ(
        attempts,
        (QStringList{":::Attempt to connect to MAIL Server 1/3",
                     ":::Timeout occurred trying to connect to MAIL server at address: " + order[0],
                     ":::Attempt to connect to MAIL Server 2/3",
                     ":::Timeout occurred trying to connect to MAIL server at address: " + order[1],
                     ":::Attempt to connect to MAIL Server 3/3"}));
    EXPECT_EQ(mute1.Connections(), 1);
    EXPECT_EQ(mute2.Connections(), 1);
    EXPECT_TRUE(good.Received().endsWith("QUIT\r\n"));
    EXPECT_TRUE(rig.log.contains("EMAIL sent to: ops@velmora.test, Thu Dec 10, 2026 11:22:33"));
}

TEST_F(SMTPExchangerTest, CloseAskedForStopsTheCandidateLoop) {
    const QStringList order = Candidates();
    ASSERT_EQ(order.size(), 3);
    const quint16 port = FreeTcpPort(order[0]);
    TScriptedSmtpServer::Script silent;
    silent.greeting.reset();
    TScriptedSmtpServer mute1(order[0], port, silent);
    TScriptedSmtpServer mute2(order[1], port, silent);
    rig.client.SetPort(port);
    rig.client.TimerSMTP.setInterval(300);
    // The operator quits while the first candidate is being waited for.
    QTimer::singleShot(100, [this] { rig.closePending = true; });
    EXPECT_EQ(rig.Deliver(kTo, kSubject, kDetails), std::optional<bool>(false));
    EXPECT_EQ(rig.LinesStarting(":::Attempt to connect"),
              QStringList{":::Attempt to connect to MAIL Server 1/3"});
    EXPECT_EQ(mute2.Connections(), 0);
    EXPECT_EQ(rig.log.last(), ":::Could NOT connect to a MAIL Server at: velmora.test");
}

TEST_F(SMTPExchangerTest, ExchangerWithoutAddressAndNoServerAtAll) {
    EXPECT_EQ(rig.Deliver("ops@bare.velmora.test", kSubject, kDetails), std::optional<bool>(false));
    EXPECT_EQ(rig.log, QStringList{":::No MX Records to work with."});

    // Nobody listens at any exchanger: each attempt ends by its time-out.
    rig.log.clear();
    rig.client.SetPort(FreeTcpPort("127.66.2.11"));
    rig.client.TimerSMTP.setInterval(200);
    EXPECT_EQ(rig.Deliver(kTo, kSubject, kDetails), std::optional<bool>(false));
    EXPECT_EQ(rig.LinesStarting(":::Timeout occurred").size(), 3);
    EXPECT_EQ(rig.log.last(), ":::Could NOT connect to a MAIL Server at: velmora.test");
}

// The event loop keeps running while the client waits: a DNS server that
// never answers (the lookup's full time-out) and then a mail server that
// never greets.
TEST_F(SMTPClientTest, EventLoopNeverStallsDuringADelivery) {
    QUdpSocket silentDns;
    ASSERT_TRUE(silentDns.bind(QHostAddress("127.66.2.54"), 0));
    rig.dnsServers = {"127.66.2.54"};
    rig.client.SetDNSPort(silentDns.localPort());

    TStallMeter meter;

    QElapsedTimer t;
    t.start();
    EXPECT_EQ(rig.Deliver(kTo, kSubject, kDetails, 8000), std::optional<bool>(false));
    EXPECT_GE(t.elapsed(), 4500);
    EXPECT_EQ(rig.log, QStringList{":::Error Resolving MX host: velmora.test"});

    const QString address = QStringLiteral("127.66.2.2");
    TScriptedSmtpServer::Script silent;
    silent.greeting.reset();
    TScriptedSmtpServer server(address, 0, silent);
    UseStatic(server, address);
    rig.client.TimerSMTP.setInterval(1000);
    EXPECT_EQ(rig.Deliver(kTo, kSubject, kDetails), std::optional<bool>(false));
    meter.Stop();
    EXPECT_LT(meter.WorstGap(), 50);
}

} // namespace
