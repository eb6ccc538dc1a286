// A server that refuses the login, reached over TLS as a submission server
// is: the queue's head waits before it is tried again, longer each time, on
// the program's clock, so a wrong password does not lock the account.
#include "MailTestSupport.h"
#include "ScriptedSmtpServer.h"
#include "TestCertificates.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");
const QByteArray kRefused = "535 5.7.8 Authentication credentials invalid\r\n";
const QByteArray kAccepted = "235 2.7.0 Authentication successful\r\n";
const QString kPauseLine = QStringLiteral(":::Login refused: this EMAIL is tried again in ");

class LoginPauseTest : public TDeliveryFixture {
protected:
    static inline TTestCertificates* certs = nullptr;

    static void SetUpTestSuite() { certs = TSuiteCertificates::Make(); }
    static void TearDownTestSuite() {
        TSuiteCertificates::Drop();
        certs = nullptr;
    }

    TManualClock clock{QDateTime(QDate(2026, 12, 11), QTime(9, 0, 0))};
    std::unique_ptr<TScriptedSmtpServer> server;
    qint64 elapsedSecs = 0;

    void SetUp() override {
        if (!certs)
            GTEST_SKIP() << "openssl is not installed (scripts/packages.txt lists it)";
        ASSERT_EQ(certs->Error(), QString());
        SetClock(&clock);
        // The ticks come from the test, each after five seconds of the clock.
        EMAILTimer.setInterval(3600 * 1000);
        TScriptedSmtpServer::Script script;
        script.replies.insert("EHLO", "250-scripted\r\n250 AUTH PLAIN LOGIN\r\n");
        script.replies.insert("AUTH", kRefused);
        script.tlsCertificate = certs->Cert("localhost");
        script.tlsKey = certs->Key();
        server = std::make_unique<TScriptedSmtpServer>(kLoopback, 0, script);
        ASSERT_TRUE(server->Listening());
        rig.email.debugEMAIL = false;
        rig.email.useMXAddress = true;
        rig.email.mxAddress = QStringLiteral("localhost");
        rig.email.mxPort = server->Port();
        rig.email.mxSecurity = TMailSecurity::Tls;
        rig.email.mxUser = QStringLiteral("alice");
        rig.email.mxPassword = QStringLiteral("not-the-password");
        Queue();
    }
    void TearDown() override { SetClock(nullptr); }

    void Queue() {
        queue.QueueAlert({"ops@velmora.test"}, "10.1.2.3", "Router room", "DOWN",
                         "Fri Dec 11, 2026 09:00:00");
    }

    // One EMAILTimer tick and its delivery to the end; nothing when the tick
    // started none.
    std::optional<bool> Tick() {
        QSignalSpy spy(&delivery, &TMailDelivery::DeliveryFinished);
        delivery.EMAILTimerTimer();
        if (spy.isEmpty() && !delivery.DeliveryRunning())
            return std::nullopt;
        if (spy.isEmpty() && !spy.wait(10000))
            return std::nullopt;
        return spy.first().first().toBool();
    }

    QString LastPauseLine() const {
        const QStringList lines = rig.LinesStarting(kPauseLine);
        return lines.isEmpty() ? QString() : lines.last();
    }

    // Ticks every five seconds of the clock for `secs`; the moments (seconds
    // since the test began) at which a delivery was attempted.
    QList<qint64> RunFor(qint64 secs) {
        QList<qint64> attempts;
        for (const qint64 end = elapsedSecs + secs; elapsedSecs < end; elapsedSecs += 5) {
            if (Tick())
                attempts << elapsedSecs;
            clock.advanceSecs(5);
        }
        return attempts;
    }
};

TEST_F(LoginPauseTest, ARefusedLoginWaitsOneMinuteDoublingToThirty) {
    // Five minutes, as the tick would have run them: three logins, not 60.
    EXPECT_EQ(RunFor(300), (QList<qint64>{0, 60, 180}));
    EXPECT_EQ(server->Connections(), 3);
    EXPECT_EQ(rig.LinesStarting(kPauseLine),
              (QStringList{kPauseLine + "1 minute, or at the next tick after the EMAIL settings "
                                        "change.",
                           kPauseLine + "2 minutes, or at the next tick after the EMAIL "
                                        "settings change.",
                           kPauseLine + "4 minutes, or at the next tick after the EMAIL "
                                        "settings change."}));
    // The pause is said once: each refusal gives its line and one pause line.
    EXPECT_EQ(rig.log.size(), 6) << rig.log.join('\n').toStdString();
    EXPECT_EQ(queue.Count(), 1u);

    // Doubling stops at 30 minutes: 8, 16, 30, 30.
    EXPECT_EQ(RunFor(5500 - 300), (QList<qint64>{420, 900, 1860, 3660, 5460}));
    const QStringList pauses = rig.LinesStarting(kPauseLine);
    ASSERT_EQ(pauses.size(), 8);
    EXPECT_TRUE(pauses[5].startsWith(kPauseLine + "30 minutes,"));
    EXPECT_TRUE(pauses[7].startsWith(kPauseLine + "30 minutes,"));
}

TEST_F(LoginPauseTest, ASuccessOrAChangeOfTheSettingsEndsThePause) {
    EXPECT_EQ(RunFor(65), (QList<qint64>{0, 60})); // the pause is 2 minutes now

    // A new password is tried at the next tick; a refusal then waits 1 minute
    // again.
    rig.email.mxPassword = QStringLiteral("still-not-it");
    EXPECT_EQ(RunFor(65), (QList<qint64>{65, 125}));
    EXPECT_TRUE(LastPauseLine().startsWith(kPauseLine + "2 minutes,"));

    // The debug switch and the hold are not the login's settings.
    rig.email.debugEMAIL = true;
    EXPECT_EQ(RunFor(60), QList<qint64>{});

    // The server takes the login once the pause is over; the next refusal
    // starts from 1 minute.
    server->SetReply("AUTH", kAccepted);
    EXPECT_EQ(RunFor(65), QList<qint64>{245});
    EXPECT_TRUE(queue.IsEmpty());
    server->SetReply("AUTH", kRefused);
    Queue();
    EXPECT_EQ(RunFor(60), QList<qint64>{255});
    EXPECT_TRUE(LastPauseLine().startsWith(kPauseLine + "1 minute,"));

    // The pause holds its entry: another one at the head is tried at once.
    queue.Clear();
    queue.QueueAlert({"ops@velmora.test"}, "10.1.2.4", "Printer", "DOWN",
                     "Fri Dec 11, 2026 09:05:15");
    EXPECT_EQ(RunFor(5), QList<qint64>{315});
}

TEST_F(LoginPauseTest, OnlyAPermanentRefusalPauses) {
    struct Case {
        QByteArray reply;
        QList<qint64> attempts; // in the first 30 seconds
    };
    const Case cases[] = {
        {"534 5.7.9 Authentication mechanism is too weak\r\n", {0}},
        {"554 5.7.0 Too many authentication failures\r\n", {0}},
        // Temporary: the server asks to be tried again.
        {"454 4.7.0 Temporary authentication failure\r\n", {0, 5, 10, 15, 20, 25}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.constData());
        // Another password: a pause of the case before ends.
        rig.email.mxPassword += QLatin1Char('x');
        server->SetReply("AUTH", c.reply);
        rig.log.clear();
        const qint64 from = elapsedSecs;
        QList<qint64> attempts = RunFor(30);
        for (qint64& t : attempts)
            t -= from;
        EXPECT_EQ(attempts, c.attempts);
        EXPECT_EQ(rig.LinesStarting(kPauseLine).size(), c.attempts.size() == 1 ? 1 : 0)
            << rig.log.join('\n').toStdString();
    }
}

} // namespace
