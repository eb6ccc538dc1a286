#include "AiosmtpdServer.h"
#include "FreeTcpPort.h"
#include "MailTestSupport.h"
#include "ScriptedSmtpServer.h"
#include "TestCertificates.h"
#include "platform/IniFile.h"

#include "StallMeter.h"
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

using TMode = TAiosmtpdServer::Options::Mode;

const QString kLoopback = QStringLiteral("127.0.0.1");
const QString kSince = QStringLiteral("Thu Dec 10, 2026 11:22:33");
const QString kUser = QStringLiteral("alice");
const QString kPassword = QStringLiteral("Tr0ub4dor&3-velmora");
const QString kBody = "Router room [ 10.1.2.3 ]  DOWN on: " + kSince;

// Every form the password could take on the wire: as typed, and in the
// base64 of AUTH LOGIN and of AUTH PLAIN.
QList<QByteArray> PasswordForms() {
    const QByteArray p = kPassword.toUtf8();
    return {p, p.toBase64(), ('\0' + kUser.toUtf8() + '\0' + p).toBase64()};
}

// A server that requires the login of kUser.
TAiosmtpdServer::Options Login(TMode mode, const QStringList& exclude = {},
                               bool onlyCramMd5 = false) {
    TAiosmtpdServer::Options o;
    o.mode = mode;
    o.user = kUser;
    o.password = kPassword;
    o.exclude = exclude;
    o.onlyCramMd5 = onlyCramMd5;
    return o;
}

// A TCP relay between the client and a server that keeps every byte each
// way, as a capture on the wire would.
class TCaptureRelay : public QObject {
public:
    TCaptureRelay(quint16 target) : target(target) {
        server.listen(QHostAddress(kLoopback), 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = server.nextPendingConnection()) {
                auto* upstream = new QTcpSocket(client);
                connect(client, &QTcpSocket::readyRead, upstream, [this, client, upstream] {
                    const QByteArray b = client->readAll();
                    fromClient += b;
                    upstream->write(b);
                });
                connect(upstream, &QTcpSocket::readyRead, client, [this, client, upstream] {
                    const QByteArray b = upstream->readAll();
                    fromServer += b;
                    client->write(b);
                });
                connect(upstream, &QTcpSocket::disconnected, client,
                        &QTcpSocket::disconnectFromHost);
                connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
                upstream->connectToHost(kLoopback, this->target);
            }
        });
    }
    quint16 Port() const { return server.serverPort(); }

    QTcpServer server;
    QByteArray fromClient, fromServer;
    quint16 target;
};

class SMTPSubmissionTest : public TDeliveryFixture {
protected:
    static inline TTestCertificates* certs = nullptr;

    static void SetUpTestSuite() {
        if (TAiosmtpdServer::Available())
            certs = TSuiteCertificates::Make();
    }
    static void TearDownTestSuite() {
        TSuiteCertificates::Drop();
        certs = nullptr;
    }

    QTemporaryDir maildirs;
    std::unique_ptr<TAiosmtpdServer> smtp;
    quint16 smtpPort = 0;
    QStringList transcript;

    void SetUp() override {
        if (!certs)
            GTEST_SKIP() << "python3-aiosmtpd or openssl is not installed "
                            "(scripts/packages.txt lists both)";
        ASSERT_EQ(certs->Error(), QString());
        rig.email.debugEMAIL = false;
        rig.client.SetTranscript([this](TReplyEngine::TDirection d, const QString& line) {
            transcript << (d == TReplyEngine::TDirection::Sent ? "C: " : "S: ") + line;
        });
        EMAILTimer.start(5000);
    }

    void StartServer(TAiosmtpdServer::Options options, const QString& cert = "localhost") {
        if (options.mode != TMode::Plain) {
            options.cert = certs->Cert(cert);
            options.key = certs->Key();
        }
        smtpPort = FreeTcpPort(kLoopback);
        smtp = std::make_unique<TAiosmtpdServer>(kLoopback, smtpPort, maildirs.filePath("mail"),
                                                 options);
        ASSERT_EQ(smtp->Error(), QString());
    }

    void UseServer(quint16 port, TMailSecurity security, const QString& user = kUser,
                   const QString& password = kPassword) {
        rig.email.useMXAddress = true;
        rig.email.mxAddress = QStringLiteral("localhost");
        rig.email.mxPort = port;
        rig.email.mxSecurity = security;
        rig.email.mxUser = user;
        rig.email.mxPassword = password;
    }

    // The DOWN alert, taken from the queue by one tick; the delivery's outcome.
    bool DeliverDownAlert() {
        queue.QueueAlert({"ops@velmora.test"}, "10.1.2.3", "Router room", "DOWN", kSince);
        QSignalSpy spy(&delivery, &TMailDelivery::DeliveryFinished);
        delivery.EMAILTimerTimer();
        // A refusal before anything was sent ends the delivery at once.
        if (spy.isEmpty()) {
            EXPECT_TRUE(spy.wait(15000));
        }
        return !spy.isEmpty() && spy.value(0).value(0).toBool();
    }

    // The stored message, once the server has written it.
    QString StoredMessage() {
        QStringList messages;
        for (int i = 0; i < 50 && messages.isEmpty(); ++i) {
            QTest::qWait(50);
            messages = smtp->Messages();
        }
        EXPECT_EQ(messages.size(), 1);
        return messages.value(0);
    }

    void ExpectNoPasswordIn(const QStringList& lines, const char* where) {
        for (const QString& l : lines)
            for (const QByteArray& form : PasswordForms())
                EXPECT_FALSE(l.contains(QString::fromLatin1(form)))
                    << where << ": " << l.toStdString();
    }
};

TEST_F(SMTPSubmissionTest, DownAlertArrivesThroughASubmissionServer) {
    struct Case {
        const char* name;
        TMode mode;
        TMailSecurity security;
        QStringList exclude;
        QStringList sent; // what the transcript shows of the client's side
    };
    const QList<Case> cases{
        {"STARTTLS and AUTH PLAIN",
         TMode::StartTls,
         TMailSecurity::StartTls,
         {},
         {"C: EHLO [127.0.0.1]", "C: STARTTLS", "C: EHLO [127.0.0.1]", "C: AUTH PLAIN ****",
          "C: MAIL FROM:<velmora@velmora.test>"}},
        {"TLS from the first byte and AUTH LOGIN",
         TMode::Tls,
         TMailSecurity::Tls,
         {"PLAIN"},
         {"C: EHLO [127.0.0.1]", "C: AUTH LOGIN", "C: ****", "C: ****",
          "C: MAIL FROM:<velmora@velmora.test>"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartServer(Login(c.mode, c.exclude));
        UseServer(smtpPort, c.security);
        rig.email.debugEMAIL = true;
        rig.log.clear();
        transcript.clear();
        ASSERT_TRUE(DeliverDownAlert()) << rig.log.join('\n').toStdString();
        EXPECT_TRUE(queue.IsEmpty());
        ExpectAlertMessage(StoredMessage(), kSince, kBody);

        QStringList sent = transcript;
        sent.removeIf([](const QString& l) { return !l.startsWith("C: "); });
        EXPECT_EQ(sent.mid(0, c.sent.size()), c.sent);
        EXPECT_TRUE(rig.log.contains(">>>" + c.sent[3].mid(3))) << rig.log.join('\n').toStdString();
        ExpectNoPasswordIn(rig.log, "EMAIL Log");
        ExpectNoPasswordIn(transcript, "transcript");
        smtp.reset();
        QDir(maildirs.filePath("mail")).removeRecursively();
    }
}

TEST_F(SMTPSubmissionTest, PlainDialogueUnchangedWithoutTheNewKeys) {
    StartServer(TAiosmtpdServer::Options());
    // A settings file of an older version: the static server, nothing more.
    TIniFile ini(maildirs.filePath("velmora.ini"));
    {
        QFile f(ini.FileName());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "[VELMORA Settings]\r\nYourEMAILAddress=velmora@velmora.test\r\nMXAddress=127.0.0.1\r\n"
            "UseMXAddress=1\r\n");
    }
    rig.email = TEmailSettings::Read(ini);
    EXPECT_EQ(rig.email.mxPort, 25);
    EXPECT_EQ(rig.email.mxSecurity, TMailSecurity::None);
    EXPECT_TRUE(rig.email.useMXAddress);
    rig.client.SetPort(smtpPort); // stands in for 25

    ASSERT_TRUE(DeliverDownAlert()) << rig.log.join('\n').toStdString();
    ExpectAlertMessage(StoredMessage(), kSince, kBody);
    QStringList sent = transcript;
    sent.removeIf([](const QString& l) { return !l.startsWith("C: "); });
    EXPECT_EQ(sent.value(0), "C: HELO [127.0.0.1]");
    EXPECT_EQ(sent.value(1), "C: MAIL FROM:<velmora@velmora.test>");
}

TEST_F(SMTPSubmissionTest, RefusalsKeepTheEntryAndSayWhy) {
    struct Case {
        const char* name;
        TAiosmtpdServer::Options server;
        QString cert;
        TMailSecurity security;
        QString password;
        QString line; // the EMAIL Log line, as far as it is ours
        bool pause;   // a refused login: a second line says how long the entry waits
    };
    const QString cert =
        ":::Certificate of the MAIL Server localhost at address 127.0.0.1 refused: ";
    const QList<Case> cases{
        {"wrong password", Login(TMode::StartTls), "localhost", TMailSecurity::StartTls,
         "not-the-password",
         ":::MAIL Server at address 127.0.0.1 refused the login of user alice: 535", true},
        {"certificate from another authority", Login(TMode::Tls), "other-issuer",
         TMailSecurity::Tls, kPassword, cert + "unknown issuer.", false},
        {"certificate for another host name", Login(TMode::StartTls), "other-name",
         TMailSecurity::StartTls, kPassword, cert + "name mismatch.", false},
        {"expired certificate", Login(TMode::Tls), "expired", TMailSecurity::Tls, kPassword,
         cert + "expired.", false},
        {"STARTTLS not offered", Login(TMode::Plain), "", TMailSecurity::StartTls, kPassword,
         ":::MAIL Server at address 127.0.0.1 does not offer STARTTLS. Nothing more sent.", false},
        {"no login method in common", Login(TMode::Tls, {}, true), "localhost", TMailSecurity::Tls,
         kPassword,
         ":::MAIL Server at address 127.0.0.1 offers no login method Velmora speaks (PLAIN, "
         "LOGIN); it offers: CRAM-MD5",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartServer(c.server, c.cert);
        UseServer(smtpPort, c.security, kUser, c.password);
        rig.log.clear();
        queue.Clear();
        transcript.clear();
        EXPECT_FALSE(DeliverDownAlert());
        ASSERT_EQ(queue.Count(), 1u);
        EXPECT_EQ(queue.Head().address, "ops@velmora.test");
        ASSERT_EQ(rig.log.size(), c.pause ? 2 : 1) << rig.log.join('\n').toStdString() << "\n"
                                                   << transcript.join('\n').toStdString();
        EXPECT_TRUE(rig.log[0].startsWith(c.line)) << rig.log[0].toStdString();
        if (c.pause) {
            EXPECT_EQ(rig.log[1], ":::Login refused: this EMAIL is tried again in 1 minute, or at "
                                  "the next tick after the EMAIL settings change.");
        }
        EXPECT_TRUE(smtp->Messages().isEmpty());
        // Nothing of the login went out when the refusal came before it.
        if (c.password == kPassword) {
            for (const QString& l : transcript)
                EXPECT_FALSE(l.startsWith("C: AUTH")) << l.toStdString();
        }
        smtp.reset();
    }
}

TEST_F(SMTPSubmissionTest, UserWithoutSecurityIsRefusedBeforeAnythingIsSent) {
    TScriptedSmtpServer server(kLoopback, 0, {});
    ASSERT_TRUE(server.Listening());
    UseServer(server.Port(), TMailSecurity::None);
    EXPECT_FALSE(DeliverDownAlert());
    EXPECT_EQ(queue.Count(), 1u);
    EXPECT_EQ(rig.log, QStringList{":::A user is set for the MAIL Server localhost but Security is "
                                   "None: the password goes only over TLS. Nothing sent."});
    QTest::qWait(100);
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_TRUE(transcript.isEmpty());
}

TEST_F(SMTPSubmissionTest, NoPasswordOnTheWireOutsideTLS) {
    for (const QStringList& exclude : {QStringList{}, QStringList{"PLAIN"}}) {
        SCOPED_TRACE(exclude.isEmpty() ? "AUTH PLAIN" : "AUTH LOGIN");
        StartServer(Login(TMode::StartTls, exclude));
        TCaptureRelay relay(smtpPort);
        ASSERT_TRUE(relay.server.isListening());
        UseServer(relay.Port(), TMailSecurity::StartTls);
        rig.email.debugEMAIL = true;
        rig.log.clear();
        ASSERT_TRUE(DeliverDownAlert()) << rig.log.join('\n').toStdString();
        StoredMessage();
        // The clear part of the session is there to be read, and it ends
        // with STARTTLS; everything after it is TLS.
        const qsizetype tls = relay.fromClient.indexOf("STARTTLS\r\n");
        ASSERT_GT(tls, 0) << relay.fromClient.constData();
        EXPECT_TRUE(relay.fromClient.startsWith("EHLO [127.0.0.1]\r\n"));
        EXPECT_FALSE(relay.fromClient.contains("MAIL FROM"));
        for (const QByteArray& form : PasswordForms()) {
            EXPECT_FALSE(relay.fromClient.contains(form)) << form.constData();
            EXPECT_FALSE(relay.fromServer.contains(form)) << form.constData();
        }
        ExpectNoPasswordIn(rig.log, "EMAIL Log");
        ExpectNoPasswordIn(transcript, "transcript");
        smtp.reset();
        QDir(maildirs.filePath("mail")).removeRecursively();
    }
}

TEST_F(SMTPSubmissionTest, SilentTlsPeerHoldsNeitherTheLoopNorTheAttempt) {
    // A server that takes the connection and never answers the handshake:
    // from the first byte, or after it agreed to STARTTLS.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress(kLoopback), 0));
    TScriptedSmtpServer::Script script;
    script.replies.insert("EHLO", "250-scripted\r\n250 STARTTLS\r\n");
    script.replies.insert("STAR", "220 Go ahead\r\n");
    TScriptedSmtpServer agrees(kLoopback, 0, script);
    ASSERT_TRUE(agrees.Listening());
    constexpr int kTimeout = 600;
    rig.client.TimerSMTP.setInterval(kTimeout);
    rig.client.TimerSMTP2.setInterval(kTimeout);

    struct Case {
        const char* name;
        quint16 port;
        TMailSecurity security;
    };
    for (const Case& c : {Case{"TLS", silent.serverPort(), TMailSecurity::Tls},
                          Case{"STARTTLS", agrees.Port(), TMailSecurity::StartTls}}) {
        SCOPED_TRACE(c.name);
        UseServer(c.port, c.security);
        TStallMeter meter;
        const std::optional<bool> outcome =
            rig.Deliver("ops@velmora.test", "Velmora Alert", kBody, 5000);
        const qint64 took = meter.Elapsed();
        meter.Stop();
        EXPECT_EQ(outcome, std::optional<bool>(false));
        EXPECT_GE(took, kTimeout - 50);
        EXPECT_LT(took, kTimeout + 400);
        EXPECT_LT(meter.WorstGap(), 50);
        EXPECT_FALSE(rig.client.Busy());
    }
    EXPECT_TRUE(agrees.Received().startsWith("EHLO [127.0.0.1]\r\nSTARTTLS\r\n"));
}

} // namespace
