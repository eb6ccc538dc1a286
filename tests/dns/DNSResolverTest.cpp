#include "dns/DNSResolver.h"
#include "DNSMessageBuilder.h"
#include "ScriptedUdpServer.h"
#include "dns/DNSThread.h"

#include "QtPrinters.h"
#include <QElapsedTimer>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>
#include <thread>

using B = TDNSMessageBuilder;

namespace {

// Our own server's address; other test programs use other 127.x addresses.
const QString kServer = QStringLiteral("127.77.1.1");

// The question of `query` turned into a response carrying `records` answers.
QByteArray Answer(const QByteArray& query, int answers, const QByteArray& records,
                  int flags2 = 0x80) {
    QByteArray r = query;
    r[2] = char(0x81 | 0x04);
    r[3] = char(flags2);
    r.replace(6, 2, B::Be16(answers));
    return r + records;
}

QByteArray ARecord(int last) {
    return B::Pointer(12) + B::Be16(1) + B::Be16(1) + B::Be32(60) + B::Be16(4) +
           QByteArray("\x7f\x01\x02", 3) + char(last);
}

TDNSResolver Resolver(quint16 port, const QString& query = "www.velmora.test", int timeOut = 2) {
    TDNSResolver r(port);
    r.Server = kServer;
    r.Query = query;
    r.QueryType = 1;
    r.TimeOut = timeOut;
    return r;
}

TEST(DNSResolver, SendsTheQueryAndDecodesTheReply) {
    TScriptedUdpServer server(kServer,
                              [](const QByteArray& q) { return Answer(q, 1, ARecord(3)); });
    ASSERT_NE(server.Port(), 0);
    TDNSResolver r = Resolver(server.Port());
    r.Recursive = false;
    ASSERT_TRUE(r.Resolve());
    ASSERT_EQ(server.Received().size(), 1);
    // The identifier (first two bytes) is random; the rest is fixed.
    EXPECT_EQ(server.Received()[0].mid(2).toHex(), QByteArray("00000001000000000000"
                                                              "03777777"
                                                              "0776656c6d6f7261"
                                                              "0474657374"
                                                              "00"
                                                              "0001"
                                                              "0001"));
    EXPECT_TRUE(r.Authoritative);
    EXPECT_EQ(r.ResponseFromText(), kServer);
    EXPECT_EQ(r.AnswerValues, QStringList{"127.1.2.3"});
    EXPECT_EQ(r.AnswerLines,
              QStringList{"www.velmora.test\t\tTTL: 60 sec.\tClass:IN   Type:A\t127.1.2.3"});
    EXPECT_EQ(DNSResultLines(r),
              (QStringList{":Answer Records", "",
                           "www.velmora.test\t\tTTL: 60 sec.\tClass:IN   Type:A\t127.1.2.3", "", "",
                           "Authoritative response from DNS Server: 127.77.1.1"}));

    // Each query draws a new identifier: four alike would be one chance in 2^48.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(r.Resolve());
    QSet<QByteArray> ids;
    for (const QByteArray& q : server.Received())
        ids.insert(q.left(2));
    EXPECT_GT(ids.size(), 1);
}

TEST(DNSResolver, SilentServerTimesOutAfterTheChosenSecondsOnAnyThread) {
    TScriptedUdpServer server(kServer, [](const QByteArray&) { return std::nullopt; });
    ASSERT_NE(server.Port(), 0);
    // Two resolvers on two threads at once share nothing and wait side by side.
    bool results[2] = {true, true};
    qint64 took[2] = {0, 0};
    auto run = [&](int i) {
        TDNSResolver r = Resolver(server.Port(), "www.velmora.test", 1);
        QElapsedTimer t;
        t.start();
        results[i] = r.Resolve();
        took[i] = t.elapsed();
        if (!r.AnswerLines.isEmpty() || !r.AdditionalValues.isEmpty())
            results[i] = true;
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(results[i]);
        EXPECT_GE(took[i], 950);
        EXPECT_LT(took[i], 2000);
    }
    EXPECT_EQ(server.Received().size(), 2);
}

// Replies that are accepted although odd.
struct ReplyCase {
    const char* label;
    std::function<QByteArray(const QByteArray&)> reply;
    bool resolved;
    QStringList answerValues;
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.label;
}

class DNSResolverReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(DNSResolverReplyTest, AcceptsOrRefuses) {
    const ReplyCase& c = GetParam();
    TScriptedUdpServer server(kServer, [&](const QByteArray& q) { return c.reply(q); });
    ASSERT_NE(server.Port(), 0);
    TDNSResolver r = Resolver(server.Port());
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(r.Resolve(), c.resolved);
    EXPECT_LT(t.elapsed(), 1500) << "answered at once, no time-out expected";
    EXPECT_EQ(r.AnswerValues, c.answerValues);
}

// 1024 bytes is the largest datagram taken: 30 bytes of question, 16 per record.
QByteArray Padded(const QByteArray& q, int total) {
    QByteArray r = Answer(q, 1, ARecord(3));
    return r + QByteArray(total - r.size(), '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DNSResolverReplyTest,
    ::testing::Values(ReplyCase{"datagram of 1024 bytes",
                                [](const QByteArray& q) { return Padded(q, 1024); },
                                true,
                                {"127.1.2.3"}},
                      ReplyCase{"question name in other letter case",
                                [](const QByteArray& q) {
                                    QByteArray r = Answer(q, 1, ARecord(3));
                                    r.replace(13, 3, "WwW");
                                    return r;
                                },
                                true,
                                {"127.1.2.3"}},
                      ReplyCase{"name error",
                                [](const QByteArray& q) { return Answer(q, 0, {}, 0x83); },
                                true,
                                {}},
                      ReplyCase{"second record cut short",
                                [](const QByteArray& q) {
                                    return Answer(q, 2, ARecord(3) + ARecord(4)).chopped(3);
                                },
                                true,
                                {"127.1.2.3"}},
                      ReplyCase{"pointer loop in the first record",
                                [](const QByteArray& q) {
                                    // The first record starts at 34, after the 22-byte question.
                                    return Answer(q, 1, B::Pointer(34) + ARecord(3).mid(2));
                                },
                                true,
                                {}}));

// Datagrams that are not the answer to our query. Each is ignored: sent
// before the real answer, the real answer wins; sent alone, the query times out.
struct IgnoredCase {
    const char* label;
    std::function<QByteArray(const QByteArray&)> datagram;
    bool fromOtherPort = false;
};

void PrintTo(const IgnoredCase& c, std::ostream* os) {
    *os << c.label;
}

// A valid answer to `q` whose address, 127.1.2.66, is not the real one.
QByteArray Spoof(const QByteArray& q) {
    return Answer(q, 1, ARecord(66));
}

QByteArray WithByte(QByteArray r, int at, char value) {
    r[at] = value;
    return r;
}

class DNSResolverIgnoresTest : public ::testing::TestWithParam<IgnoredCase> {};

TEST_P(DNSResolverIgnoresTest, BeforeTheAnswerAndAlone) {
    const IgnoredCase& c = GetParam();
    for (const bool thenAnswer : {true, false}) {
        SCOPED_TRACE(thenAnswer ? "followed by the answer" : "alone");
        TScriptedUdpServer server(
            kServer, TScriptedUdpServer::Replies([&](const QByteArray& q) {
                QList<TScriptedUdpServer::Reply> out{{c.datagram(q), c.fromOtherPort}};
                if (thenAnswer)
                    out << TScriptedUdpServer::Reply{Answer(q, 1, ARecord(3)), false, 100};
                return out;
            }));
        ASSERT_NE(server.Port(), 0);
        TDNSResolver r = Resolver(server.Port(), "www.velmora.test", 1);
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(r.Resolve(), thenAnswer);
        EXPECT_EQ(r.AnswerValues, thenAnswer ? QStringList{"127.1.2.3"} : QStringList());
        if (thenAnswer)
            EXPECT_LT(t.elapsed(), 800);
        else
            EXPECT_GE(t.elapsed(), 950);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DNSResolverIgnoresTest,
    ::testing::Values(
        IgnoredCase{"right identifier from another port", Spoof, true},
        IgnoredCase{"other identifier from another port",
                    [](const QByteArray& q) { return WithByte(Spoof(q), 0, char(q[0] ^ 0x55)); },
                    true},
        IgnoredCase{"other identifier",
                    [](const QByteArray& q) { return WithByte(Spoof(q), 1, char(q[1] ^ 0x01)); }},
        IgnoredCase{"QR clear",
                    [](const QByteArray& q) { return WithByte(Spoof(q), 2, char(q[2] & 0x7f)); }},
        IgnoredCase{"echoed query with an error code",
                    [](const QByteArray& q) { return WithByte(q, 3, 0x02); }},
        IgnoredCase{"other question name",
                    [](const QByteArray& q) {
                        QByteArray r = Spoof(q);
                        return r.replace(13, 3, "ftp");
                    }},
        IgnoredCase{"other question type",
                    [](const QByteArray& q) { return WithByte(Spoof(q), 31, 0x0f); }},
        IgnoredCase{"other question class",
                    [](const QByteArray& q) { return WithByte(Spoof(q), 33, 0x03); }},
        IgnoredCase{"no question",
                    [](const QByteArray& q) {
                        QByteArray r = Spoof(q).left(12);
                        r.replace(4, 2, B::Be16(0));
                        return r;
                    }},
        IgnoredCase{"two questions",
                    [](const QByteArray& q) {
                        QByteArray r = Spoof(q);
                        return r.replace(4, 2, B::Be16(2));
                    }},
        IgnoredCase{"twelve zero bytes", [](const QByteArray&) { return QByteArray(12, '\0'); }},
        IgnoredCase{"shorter than a header", [](const QByteArray& q) { return q.left(11); }},
        IgnoredCase{"datagram of 1025 bytes",
                    [](const QByteArray& q) {
                        const QByteArray r = Spoof(q);
                        return r + QByteArray(1025 - r.size(), '\0');
                    }},
        IgnoredCase{"datagram of 4000 bytes", [](const QByteArray& q) {
                        const QByteArray r = Spoof(q);
                        return r + QByteArray(4000 - r.size(), '\0');
                    }}));

TEST(DNSResolver, IgnoredDatagramsDoNotExtendTheTimeOut) {
    // Answers with a wrong identifier every 150 ms for 2.4 s, against a 1 s time-out.
    TScriptedUdpServer server(
        kServer, TScriptedUdpServer::Replies([](const QByteArray& q) {
            QList<TScriptedUdpServer::Reply> out;
            for (int i = 0; i < 16; ++i)
                out << TScriptedUdpServer::Reply{WithByte(Spoof(q), 0, char(q[0] ^ 1)), false, 150};
            return out;
        }));
    ASSERT_NE(server.Port(), 0);
    TDNSResolver r = Resolver(server.Port(), "www.velmora.test", 1);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(r.Resolve());
    EXPECT_GE(t.elapsed(), 950);
    EXPECT_LT(t.elapsed(), 1400);
}

TEST(DNSResolver, FailsWithoutSendingWhenTheQueryCannotBeBuilt) {
    TScriptedUdpServer server(kServer, [](const QByteArray& q) { return Answer(q, 0, {}); });
    ASSERT_NE(server.Port(), 0);
    TDNSResolver r = Resolver(server.Port(), "localhost");
    r.QueryType = 12;
    EXPECT_FALSE(r.Resolve());
    r.Query = "10.1.2.3";
    EXPECT_TRUE(r.Resolve());
    ASSERT_EQ(server.Received().size(), 1);
    EXPECT_TRUE(server.Received()[0].contains("\x07IN-ADDR\x04"
                                              "ARPA"));
}

// Whether /etc/hosts names 127.0.0.1 "localhost", so that looking the name
// up never asks a DNS server outside this machine.
bool HostsFileHasLocalhost() {
    QFile hosts("/etc/hosts");
    if (!hosts.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : hosts.readAll().split('\n')) {
        const qsizetype comment = line.indexOf('#');
        const QList<QByteArray> words =
            (comment < 0 ? line : line.left(comment)).simplified().split(' ');
        if (words.size() > 1 && words[0] == "127.0.0.1" && words.mid(1).contains("localhost"))
            return true;
    }
    return false;
}

TEST(DNSResolver, ServerGivenByNameOrNotAtAll) {
    if (!HostsFileHasLocalhost())
        GTEST_SKIP() << "/etc/hosts does not map localhost to 127.0.0.1";
    // "localhost" is looked up (it is not a dotted address) and lands on 127.0.0.1.
    TScriptedUdpServer server("127.0.0.1",
                              [](const QByteArray& q) { return Answer(q, 1, ARecord(9)); });
    ASSERT_NE(server.Port(), 0);
    TDNSResolver r = Resolver(server.Port());
    r.Server = "localhost";
    ASSERT_TRUE(r.Resolve());
    EXPECT_EQ(r.ResponseFromText(), "127.0.0.1");
    EXPECT_EQ(r.AnswerValues, QStringList{"127.1.2.9"});

    r.Server = QString();
    EXPECT_FALSE(r.Resolve());
    EXPECT_EQ(server.Received().size(), 1);
    EXPECT_EQ(DNSServerAddress("127.1", 1), "127.0.0.1"); // inet_addr's short form
}

} // namespace
