#include "net/ReplyEngine.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

// An engine on a client socket, connected to a loopback listener whose
// accepted side the test reads and writes.
class ReplyEngineTest : public ::testing::Test {
protected:
    QTcpServer listener;
    QTcpSocket client;
    TReplyEngine engine{client};
    std::unique_ptr<QTcpSocket> peer;
    QStringList transcript;

    void SetUp() override {
        ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
        engine.SetTranscript([this](TReplyEngine::TDirection d, const QString& line) {
            transcript << (d == TReplyEngine::TDirection::Sent ? "> " : "< ") + line;
        });
    }

    void Connect() {
        engine.Open(QStringLiteral("127.0.0.1"), listener.serverPort());
        ASSERT_TRUE(listener.waitForNewConnection(5000));
        peer.reset(listener.nextPendingConnection());
        ASSERT_TRUE(client.state() == QAbstractSocket::ConnectedState ||
                    QSignalSpy(&client, &QAbstractSocket::connected).wait(5000));
    }

    // What the peer has received once `expected` bytes are there (or 2 s).
    QByteArray PeerReceived(qsizetype expected) {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < expected && t.elapsed() < 2000) {
            QTest::qWait(10);
            got += peer->readAll();
        }
        QTest::qWait(50);
        return got + peer->readAll();
    }
};

// Send ends every command with CR LF and refuses, sending nothing, one
// that would carry a second line; a secret is refused the same way.
TEST_F(ReplyEngineTest, CommandsGetCrLfAndLineBreaksAreRefused) {
    Connect();
    EXPECT_TRUE(engine.Send("NOOP"));
    for (const QByteArray& bad : {QByteArray("RCPT TO:<a>\r\nDATA"), QByteArray("CWD a\nDELE b"),
                                  QByteArray("QUIT\r"), QByteArray("\n")})
        EXPECT_FALSE(engine.Send(bad)) << bad.toStdString();
    EXPECT_FALSE(engine.SendSecret("PASS s3cret\r\nDELE x", 1).has_value());
    EXPECT_EQ(engine.SendSecret("PASS s3cret", 1), std::optional<QByteArray>("PASS ****"));
    // A message is no command: its lines go as they are.
    engine.SendText("Subject: x\r\n\r\nbody\r\n.\r\n");
    EXPECT_TRUE(engine.Send("QUIT"));
    const QByteArray expected = "NOOP\r\nPASS s3cret\r\nSubject: x\r\n\r\nbody\r\n.\r\nQUIT\r\n";
    EXPECT_EQ(PeerReceived(expected.size()), expected);
    EXPECT_EQ(transcript, (QStringList{"> NOOP", "> PASS ****", "> Subject: x", "> ", "> body",
                                       "> .", "> QUIT"}));
}

// The greeting is a reply like any other; ConnectTimer, once the protocol
// has stopped it, bounds nothing more.
TEST_F(ReplyEngineTest, GreetingIsAnOrdinaryReply) {
    QSignalSpy replies(&engine, &TReplyEngine::ReplyReceived);
    QSignalSpy timedOut(&engine, &TReplyEngine::ConnectTimedOut);
    engine.ConnectTimer.setInterval(200);
    Connect();
    engine.ConnectTimer.start();
    peer->write("220-first\r\n220 ready\r\n");
    ASSERT_TRUE(replies.wait(5000));
    const TReply greeting = replies.first().first().value<TReply>();
    EXPECT_EQ(greeting.code, 220);
    EXPECT_EQ(greeting.lines, (QStringList{"220-first", "220 ready"}));
    engine.ConnectTimer.stop();
    QTest::qWait(300);
    EXPECT_TRUE(timedOut.isEmpty());
    EXPECT_EQ(client.state(), QAbstractSocket::ConnectedState);
}

// A peer that accepts and never speaks is given up when ConnectTimer fires:
// the connection is aborted and ConnectTimedOut says so.
TEST_F(ReplyEngineTest, SilentPeerEndsAtTheConnectBound) {
    QSignalSpy timedOut(&engine, &TReplyEngine::ConnectTimedOut);
    engine.ConnectTimer.setInterval(200);
    Connect();
    QElapsedTimer elapsed;
    elapsed.start();
    engine.ConnectTimer.start();
    ASSERT_TRUE(timedOut.wait(5000));
    EXPECT_GE(elapsed.elapsed(), 190);
    EXPECT_EQ(client.state(), QAbstractSocket::UnconnectedState);
    EXPECT_FALSE(engine.ConnectTimer.isActive());
}

} // namespace
