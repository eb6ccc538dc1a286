// Pushes to the webhook receiver of Debian's `webhook` package: on a test
// host in a namespace of the test's own for the bodies and the token, and
// on loopback with https for the certificate checks.
#include "PushTestSupport.h"
#include "TestCertificates.h"
#include "WebhookReceiver.h"

#include "TestFiles.h"
#include "devices/DeviceGrid.h"
#include "platform/LogModel.h"
#include "push/PushDelivery.h"
#include "session/Session.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kToken = QStringLiteral("tok-5ecr3t-9f1c");

struct PushReceiverTest : ::testing::Test {
    std::unique_ptr<TTestHostNamespace> host;
    std::unique_ptr<TWebhookReceiver> receiver;

    void SetUp() override {
        if (const QString why = TWebhookReceiver::Unavailable() + TTestHostNamespace::Unavailable();
            !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        host = std::make_unique<TTestHostNamespace>();
        ASSERT_TRUE(host->Problem().isEmpty()) << host->Problem().toStdString();
        receiver =
            std::make_unique<TWebhookReceiver>(host->Name(), host->HostAddress(), 9000, kToken);
        ASSERT_TRUE(receiver->Problem().isEmpty()) << receiver->Problem().toStdString();
    }
};

// The whole road: a device's failed echo in the session, the transition
// rules, the push queue and the delivery to the receiver.
TEST_F(PushReceiverTest, ADownChangeArrivesAsJsonWithTheBearerToken) {
    QTemporaryDir dir;
    WriteTestFile(dir.filePath("hosts.dat"), "10.1.2.3\tRouter \"A\" room\r\n");
    WriteTestFile(dir.filePath("velmora.ini"),
                  JsonPushSettings(dir.filePath("hosts.dat"), receiver->Url(), kToken.toUtf8()));
    TSession::Options o;
    o.settingsPath = dir.filePath("velmora.ini");
    o.echo = [](const QString&, int) { return TEchoResult{}; }; // never answers
    TSession session(o);
    session.Start();
    session.TimerTimeTimer(); // the clock text the alert carries

    const auto got = receiver->AwaitReceived(1, 20000);
    ASSERT_EQ(got.size(), 1) << session.EmailLog().Lines().join('\n').toStdString();
    EXPECT_EQ(got[0].authorization, "Bearer " + kToken.toUtf8());
    EXPECT_EQ(got[0].contentType, "application/json");
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(got[0].body, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << got[0].body.toStdString();
    EXPECT_EQ(json.keys(), (QStringList{"address", "location", "state", "text", "time"}));
    EXPECT_EQ(json["address"].toString(), "10.1.2.3");
    EXPECT_EQ(json["location"].toString(), "Router \"A\" room");
    EXPECT_EQ(json["state"].toString(), "DOWN");
    const QString time = json["time"].toString();
    EXPECT_EQ(time, session.Grid().Cell(1, 4)) << "the alert's time is the change's";
    EXPECT_FALSE(time.isEmpty());
    EXPECT_EQ(json["text"].toString(), "Router \"A\" room [ 10.1.2.3 ]  DOWN on: " + time);

    ASSERT_TRUE(WaitFor([&] { return session.PushQueue().IsEmpty(); }, 5000));
    const QStringList log = session.EmailLog().Lines();
    EXPECT_TRUE(log.contains("Push sent to: " + host->HostAddress()))
        << log.join('\n').toStdString();
    EXPECT_FALSE(log.join('\n').contains(kToken));
    EXPECT_FALSE(session.MonitorLog().Lines().join('\n').contains(kToken));
}

// The same receiver refuses a push without the right token.
TEST_F(PushReceiverTest, AWrongTokenIsRefusedAndDropped) {
    TPushQueue queue;
    TPushSettings settings{receiver->Url(), TWebhookFormat::Json, "not-the-token", false};
    QStringList log;
    TPushDelivery delivery(queue, settings, {[&](const QString& l) { log << l; }, {}});
    delivery.QueueAlert("10.1.2.3", "Router room", "DOWN", "Fri Dec 11, 2026 10:00:00");
    ASSERT_TRUE(WaitFor([&] { return queue.IsEmpty(); }, 10000)) << log.join('\n').toStdString();
    EXPECT_EQ(log, QStringList{"Push to " + host->HostAddress() +
                               " failed: HTTP 401 Unauthorized; the alert is dropped"});
    EXPECT_TRUE(receiver->Received().isEmpty());
    EXPECT_FALSE(log.join('\n').contains("not-the-token"));
}

// ntfy and Slack bodies and headers, byte for byte, for DOWN and Up.
TEST_F(PushReceiverTest, NtfyAndSlackBodiesAndHeadersAreExact) {
    struct Case {
        TWebhookFormat format;
        TPushEntry entry;
        QByteArray body, contentType, title, priority, tags;
    };
    const QString text = "Büro \"2\" [ 10.1.2.3 ]  DOWN on: Fri Dec 11, 2026 10:00:00";
    const QString upText = "Router room [ 10.1.2.4 ]  Up on: Fri Dec 11, 2026 10:05:00";
    const std::vector<Case> cases{
        {TWebhookFormat::Ntfy,
         {"10.1.2.3", "Büro \"2\"", "DOWN", "Fri Dec 11, 2026 10:00:00", text},
         text.toUtf8(),
         "text/plain; charset=utf-8",
         "=?UTF-8?B?" + QByteArray("Velmora: DOWN Büro \"2\"").toBase64() + "?=",
         "high",
         "rotating_light"},
        {TWebhookFormat::Ntfy,
         {"10.1.2.4", "Router room", "Up", "Fri Dec 11, 2026 10:05:00", upText},
         upText.toUtf8(),
         "text/plain; charset=utf-8",
         "Velmora: Up Router room",
         "default",
         "white_check_mark"},
        {TWebhookFormat::Slack,
         {"10.1.2.3", "Büro \"2\"", "DOWN", "Fri Dec 11, 2026 10:00:00", text},
         "{\"text\":\"" + QString(text).replace("\"", "\\\"").toUtf8() + "\"}",
         "application/json",
         {},
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WebhookFormatText(c.format).toStdString() + " " + c.entry.state.toStdString());
        const qsizetype before = receiver->Received().size();
        TPushQueue queue;
        TPushSettings settings{receiver->Url(), c.format, kToken, false};
        TPushDelivery delivery(queue, settings, {});
        queue.Append(c.entry);
        delivery.Kick();
        const auto got = receiver->AwaitReceived(int(before) + 1, 10000);
        ASSERT_EQ(got.size(), before + 1);
        const TWebhookReceiver::TReceived& r = got.last();
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.contentType, c.contentType);
        EXPECT_EQ(r.title, c.title);
        EXPECT_EQ(r.priority, c.priority);
        EXPECT_EQ(r.tags, c.tags);
        EXPECT_EQ(r.authorization, "Bearer " + kToken.toUtf8());
        ASSERT_TRUE(WaitFor([&] { return queue.IsEmpty(); }, 5000));
    }
}

// https on loopback: the receiver's certificate is checked against the
// trusted authorities and the URL's host, and a failure keeps the entry.
struct PushTlsTest : ::testing::Test {
    static inline TTestCertificates* certs = nullptr;
    static inline std::unique_ptr<QTemporaryDir> selfSigned;
    static void SetUpTestSuite() {
        certs = TSuiteCertificates::Make();
        selfSigned = std::make_unique<QTemporaryDir>();
        if (certs)
            MakeSelfSigned(selfSigned->path());
    }
    static void TearDownTestSuite() {
        TSuiteCertificates::Drop();
        selfSigned.reset();
    }
    void SetUp() override {
        if (!TWebhookReceiver::Unavailable().isEmpty())
            GTEST_SKIP() << TWebhookReceiver::Unavailable().toStdString();
        if (!certs)
            GTEST_SKIP() << "openssl is not installed";
        ASSERT_TRUE(certs->Error().isEmpty()) << certs->Error().toStdString();
    }
};

TEST_F(PushTlsTest, OnlyACertificateForTheHostFromATrustedAuthorityIsAccepted) {
    struct Case {
        const char* name;
        QString cert, key;
        QString logged; // empty: delivered
    };
    const std::vector<Case> cases{
        {"trusted, for localhost", certs->Cert("localhost"), certs->Key(), {}},
        {"self-signed", selfSigned->filePath("cert.pem"), selfSigned->filePath("key.pem"),
         "Push to localhost failed: certificate not accepted: The certificate is self-signed, "
         "and untrusted"},
        {"for another host", certs->Cert("other-name"), certs->Key(),
         "Push to localhost failed: certificate not accepted: The host name did not match any "
         "of the valid hosts for this certificate"},
    };
    quint16 port = 9441;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TWebhookReceiver rx({}, "127.0.0.1", port++, kToken, c.cert, c.key);
        ASSERT_TRUE(rx.Problem().isEmpty()) << rx.Problem().toStdString();
        TPushQueue queue;
        TPushSettings settings{rx.Url("localhost"), TWebhookFormat::Json, kToken, false};
        QStringList log;
        TPushDelivery delivery(queue, settings, {[&](const QString& l) { log << l; }, {}});
        QSignalSpy finished(&delivery, &TPushDelivery::DeliveryFinished);
        delivery.QueueAlert("10.1.2.3", "Router room", "DOWN", "Fri Dec 11, 2026 10:00:00");
        ASSERT_TRUE(finished.wait(16000));
        if (c.logged.isEmpty()) {
            EXPECT_TRUE(finished.at(0).at(0).toBool()) << log.join('\n').toStdString();
            EXPECT_EQ(rx.AwaitReceived(1, 3000).size(), 1);
            EXPECT_TRUE(queue.IsEmpty());
            continue;
        }
        EXPECT_FALSE(finished.at(0).at(0).toBool());
        EXPECT_EQ(log, QStringList{c.logged});
        EXPECT_EQ(queue.Count(), 1u) << "the entry is kept";
        EXPECT_TRUE(delivery.Pausing()) << "and tried again later";
        QTest::qWait(300);
        EXPECT_TRUE(rx.Received().isEmpty()) << "nothing delivered";
    }
}

} // namespace
