#include "mail/MailDelivery.h"
#include "MailTestSupport.h"
#include "ScriptedSmtpServer.h"
#include "platform/IniFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kServer = QStringLiteral("127.66.2.3");

class MailDeliveryTest : public ::testing::Test {
protected:
    TMailRig rig;
    TNotificationQueue queue;
    QTimer EMAILTimer;
    int shown = 0;
    TMailDelivery delivery{queue,
                           rig.email,
                           rig.client,
                           EMAILTimer,
                           {[this](const QString& l) { rig.append(l); }, [this] { ++shown; },
                            [this] { return rig.closePending; }}};

    void SetUp() override {
        EMAILTimer.setInterval(5000);
        EMAILTimer.start();
        rig.email.useMXAddress = true;
        rig.email.mxAddress = kServer;
    }

    void Queue(const QStringList& addresses, const QString& location = "Router room") {
        queue.QueueAlert(addresses, "10.1.2.3", location, "DOWN", "Thu Dec 10, 2026 11:22:33");
    }

    // One tick, and its delivery to its end.
    std::optional<bool> Tick(int waitMs = 10000) {
        QSignalSpy spy(&delivery, &TMailDelivery::DeliveryFinished);
        delivery.EMAILTimerTimer();
        if (spy.isEmpty() && !delivery.DeliveryRunning())
            return std::nullopt; // nothing was delivered
        if (spy.isEmpty() && !spy.wait(waitMs))
            return std::nullopt;
        return spy.first().first().toBool();
    }

    QStringList Addresses() const {
        QStringList out;
        for (const TQueueEntry& e : queue.Entries())
            out << e.address;
        return out;
    }
};

TEST_F(MailDeliveryTest, DisplayAndClear) {
    delivery.ActionDisplayEMAILQueueExecute();
    EXPECT_EQ(rig.log, (QStringList{"EMAIL queue is empty.", ""}));

    rig.log.clear();
    Queue({"a@velmora.test", "b@velmora.test"});
    delivery.ActionDisplayEMAILQueueExecute();
    const QString subjectLine =
        "     Subject: Velmora Alert  Details: Router room [ 10.1.2.3 ]  DOWN on: Thu Dec 10, "
        "2026 11:22:33";
    EXPECT_EQ(rig.log, (QStringList{"1.  Notify Address: a@velmora.test", subjectLine,
                                    "2.  Notify Address: b@velmora.test", subjectLine, ""}));

    // No: the queue stays and is shown.
    rig.log.clear();
    delivery.ClearEMAILQueue(false);
    EXPECT_EQ(queue.Count(), 2u);
    EXPECT_EQ(rig.log.size(), 5);

    rig.log.clear();
    delivery.ClearEMAILQueue(true);
    EXPECT_TRUE(queue.IsEmpty());
    EXPECT_EQ(rig.log, (QStringList{"1. EMAIL Message Deleted.", "2. EMAIL Message Deleted.", "",
                                    "EMAIL queue is empty.", ""}));
    EXPECT_EQ(shown, 4); // every display brings the log to the front
}

TEST_F(MailDeliveryTest, DeliveredEntryLeavesTheQueueAndTheRestIsShown) {
    TScriptedSmtpServer server(kServer, 0, {});
    rig.client.SetPort(server.Port());
    rig.email.debugEMAIL = false;
    Queue({"a@velmora.test", "b@velmora.test"});

    EXPECT_EQ(Tick(), std::optional<bool>(true));
    EXPECT_EQ(Addresses(), QStringList{"b@velmora.test"});
    EXPECT_EQ(rig.log.mid(0, 2),
              (QStringList{"EMAIL sent to: a@velmora.test, Thu Dec 10, 2026 11:22:33",
                           "Message Body: Router room [ 10.1.2.3 ]  DOWN on: Thu Dec 10, 2026 "
                           "11:22:33"}));
    EXPECT_EQ(rig.log.mid(2),
              (QStringList{"Delivered EMAIL deleted from notification queue.", "",
                           "1.  Notify Address: b@velmora.test", rig.log.value(5), ""}));
    EXPECT_TRUE(EMAILTimer.isActive());
}

TEST_F(MailDeliveryTest, HoldAndNoSitesKeepTheQueue) {
    TScriptedSmtpServer server(kServer, 0, {});
    rig.client.SetPort(server.Port());
    Queue({"a@velmora.test"});

    rig.email.dontNotify = true;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Tick(), std::nullopt);
    rig.email.dontNotify = false;
    rig.email.sitesCritical = 0;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Tick(), std::nullopt);
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_EQ(queue.Count(), 1u);
    EXPECT_TRUE(EMAILTimer.isActive());

    rig.email.sitesCritical = 1;
    EXPECT_EQ(Tick(), std::optional<bool>(true));
    EXPECT_TRUE(queue.IsEmpty());
}

TEST_F(MailDeliveryTest, TimerIsStoppedForTheDeliveryAndCloseWaits) {
    TScriptedSmtpServer::Script slow;
    slow.splitDelayMs = 100;
    TScriptedSmtpServer server(kServer, 0, slow);
    rig.client.SetPort(server.Port());
    Queue({"a@velmora.test"});

    // With a close pending the tick does nothing at all.
    rig.closePending = true;
    EXPECT_EQ(Tick(), std::nullopt);
    EXPECT_TRUE(EMAILTimer.isActive());
    rig.closePending = false;

    QSignalSpy spy(&delivery, &TMailDelivery::DeliveryFinished);
    delivery.EMAILTimerTimer();
    EXPECT_TRUE(delivery.DeliveryRunning());
    EXPECT_FALSE(EMAILTimer.isActive());
    // A second tick cannot start a second delivery.
    delivery.EMAILTimerTimer();
    ASSERT_TRUE(spy.wait(10000));
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_TRUE(EMAILTimer.isActive());
    EXPECT_FALSE(delivery.DeliveryRunning());
}

TEST_F(MailDeliveryTest, ClearDuringADeliveryKeepsTheQueueConsistent) {
    for (bool delivered : {true, false}) {
        SCOPED_TRACE(delivered);
        TScriptedSmtpServer::Script slow;
        slow.splitDelayMs = 100;
        if (!delivered)
            slow.replies["RCPT"] = "550 No such user\r\n";
        TScriptedSmtpServer server(kServer, 0, slow);
        rig.client.SetPort(server.Port());
        queue.Clear();
        Queue({"a@velmora.test", "b@velmora.test"});

        QSignalSpy spy(&delivery, &TMailDelivery::DeliveryFinished);
        delivery.EMAILTimerTimer();
        ASSERT_TRUE(delivery.DeliveryRunning());
        rig.log.clear();
        delivery.ClearEMAILQueue(true);
        EXPECT_EQ(rig.log, (QStringList{"1. EMAIL Message Deleted.", "2. EMAIL Message Deleted.",
                                        "", "EMAIL queue is empty.", ""}));
        // An alert that arrives meanwhile is kept; a second clear takes it.
        Queue({"c@velmora.test"});
        Queue({"d@velmora.test"});
        rig.log.clear();
        delivery.ClearEMAILQueue(true);
        EXPECT_EQ(rig.log.mid(0, 3),
                  (QStringList{"1. EMAIL Message Deleted.", "2. EMAIL Message Deleted.", ""}));
        Queue({"e@velmora.test"});

        ASSERT_TRUE(spy.wait(10000));
        EXPECT_EQ(spy.first().first().toBool(), delivered);
        EXPECT_EQ(Addresses(), QStringList{"e@velmora.test"});
        EXPECT_TRUE(server.Received().contains("RCPT TO:<a@velmora.test>"));
    }
}

// Servers that misbehave: whether the entry stays, and the line that says why.
// A server whose reply never ends, at the greeting or at a later step: the
// attempt ends by the reader's bound (well before any time-out), the entry
// stays at the head of the queue, and the bytes held stay bounded.
TEST_F(MailDeliveryTest, EndlessReplyEndsTheAttempt) {
    using Stream = TScriptedSmtpServer::Script::Stream;
    struct Case {
        const char* name;
        QByteArray step; // "" for the greeting
        Stream stream;
    };
    const std::vector<Case> cases{
        {"endless continuation lines in the greeting",
         "",
         {"220-scripted\r\n", "220-" + QByteArray(58, 'c') + "\r\n", 40000}},
        {"greeting without a line end", "", {"220 ", QByteArray(1024, 'x'), 2000}},
        {"endless reply to HELO",
         "HELO",
         {"250-scripted\r\n", "250-" + QByteArray(58, 'c') + "\r\n", 40000}},
        {"HELO reply without a line end", "HELO", {"250-", QByteArray(1024, 'x'), 2000}},
    };
    const QString tooLong =
        ":::Reply from the MAIL Server at address " + kServer + " too long; attempt ended.";
    rig.client.TimerSMTP.setInterval(5000);
    rig.client.TimerSMTP2.setInterval(5000);
    rig.email.debugEMAIL = false; // the line is written all the same
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedSmtpServer::Script script;
        script.streams[c.step] = c.stream;
        TScriptedSmtpServer server(kServer, 0, script);
        rig.client.SetPort(server.Port());
        queue.Clear();
        rig.log.clear();
        Queue({"a@velmora.test", "b@velmora.test"});

        qsizetype peak = 0;
        QTimer sampler;
        sampler.setInterval(1);
        QObject::connect(&sampler, &QTimer::timeout,
                         [&] { peak = std::max(peak, rig.client.BufferedReplyBytes()); });
        sampler.start();
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(Tick(), std::optional<bool>(false));
        sampler.stop();
        EXPECT_LT(t.elapsed(), 3000);
        EXPECT_EQ(Addresses(), (QStringList{"a@velmora.test", "b@velmora.test"}));
        EXPECT_EQ(rig.log, QStringList{tooLong});
        EXPECT_GT(peak, 0);
        EXPECT_LE(peak, TReplyReader::kMaxReplyBytes + TReplyReader::kMaxLine + 16 * 1024);
        EXPECT_EQ(rig.client.BufferedReplyBytes(), 0);
        EXPECT_FALSE(rig.client.Busy());
        EXPECT_TRUE(EMAILTimer.isActive());
    }
}

TEST_F(MailDeliveryTest, MisbehavingServers) {
    struct Case {
        const char* name;
        QByteArray command; // whose reply the script changes
        QByteArray reply;
        int splitDelayMs;
        bool removed;
        QString why;
    };
    const std::vector<Case> cases{
        {"recipient refused", "RCPT", "550 5.1.1 No such user\r\n", 0, false,
         "550 5.1.1 No such user"},
        {"recipient refused in a multi-line reply", "RCPT",
         "550-5.1.1 No such user\r\n550 5.1.1 Recipient refused\r\n", 0, false,
         "550 5.1.1 Recipient refused"},
        {"message refused", ".", "554 5.6.0 Transaction failed\r\n", 0, false,
         ":::MAIL Server did not accept the message."},
        {"QUIT never answered", "QUIT", "", 0, true,
         ":::No reply to QUIT; the message had been accepted."},
        {"replies split across reads", "HELO", "250-velmora\r\n250-SIZE 1000\r\n250 HELP\r\n", 60,
         true, "250 HELP"},
    };
    rig.client.TimerSMTP2.setInterval(500);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedSmtpServer::Script script;
        script.replies[c.command] = c.reply;
        script.splitDelayMs = c.splitDelayMs;
        TScriptedSmtpServer server(kServer, 0, script);
        rig.client.SetPort(server.Port());
        queue.Clear();
        rig.log.clear();
        Queue({"a@velmora.test"});

        EXPECT_EQ(Tick(), std::optional<bool>(c.removed));
        EXPECT_EQ(queue.IsEmpty(), c.removed);
        EXPECT_TRUE(rig.log.contains(c.why)) << rig.log.join('\n').toStdString();
        EXPECT_EQ(rig.log.contains("Delivered EMAIL deleted from notification queue."), c.removed);
        EXPECT_TRUE(EMAILTimer.isActive());
        if (c.splitDelayMs > 0) {
            // Each reply is one log entry, whole, however it arrived.
            EXPECT_TRUE(rig.log.contains("220 scripted ESMTP"));
            EXPECT_TRUE(rig.log.contains("250-velmora"));
        }
    }
}

TEST_F(MailDeliveryTest, HoldAndDebugSwitchesAreWrittenAtOnce) {
    QTemporaryDir dir;
    TIniFile ini(dir.filePath("velmora.ini"));
    delivery.ActionHoldEMAILNotificationExecute(true, ini);
    delivery.DebugEMAILExecute(false, ini);
    EXPECT_TRUE(rig.email.dontNotify);
    EXPECT_FALSE(rig.email.debugEMAIL);
    EXPECT_TRUE(ini.ReadBool("VELMORA Settings", "Don't Notify", false));
    EXPECT_EQ(ini.ReadString("VELMORA Settings", "DebugEMAIL", "x"), "0");
    delivery.ActionHoldEMAILNotificationExecute(false, ini);
    delivery.DebugEMAILExecute(true, ini);
    const TEmailSettings read = TEmailSettings::Read(ini);
    EXPECT_FALSE(read.dontNotify);
    EXPECT_TRUE(read.debugEMAIL);
}

TEST_F(MailDeliveryTest, HeldTimerGetsBackTheStateItWouldHaveHad) {
    delivery.HoldTimer();
    EXPECT_FALSE(EMAILTimer.isActive());
    delivery.ReleaseTimer();
    EXPECT_TRUE(EMAILTimer.isActive());

    EMAILTimer.stop();
    delivery.HoldTimer();
    delivery.ReleaseTimer();
    EXPECT_FALSE(EMAILTimer.isActive());

    // A delivery that ends while the timer is held does not restart it
    // then, but afterwards.
    TScriptedSmtpServer::Script slow;
    slow.splitDelayMs = 100;
    TScriptedSmtpServer server(kServer, 0, slow);
    rig.client.SetPort(server.Port());
    Queue({"a@velmora.test"});
    EMAILTimer.start();
    QSignalSpy spy(&delivery, &TMailDelivery::DeliveryFinished);
    delivery.EMAILTimerTimer();
    delivery.HoldTimer();
    ASSERT_TRUE(spy.wait(10000));
    EXPECT_FALSE(EMAILTimer.isActive());
    delivery.ReleaseTimer();
    EXPECT_TRUE(EMAILTimer.isActive());
}

} // namespace
