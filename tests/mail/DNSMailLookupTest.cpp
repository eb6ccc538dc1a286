// The exchanger lookup the SMTP client starts, against a peer that first
// sends datagrams that are not the answer: only the real answer's addresses
// become candidates.
#include "DNSMessageBuilder.h"
#include "QtPrinters.h"
#include "ScriptedUdpServer.h"
#include "mail/MailLookup.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

using B = TDNSMessageBuilder;

namespace {

const QString kServer = QStringLiteral("127.77.4.1");

// The response to `query` naming `exchange` with its address in the
// additional section.
QByteArray MXAnswer(const QByteArray& query, const QString& exchange, quint32 address) {
    QByteArray r = query;
    r[2] = char(0x84 | (query[2] & 0x01));
    r[3] = char(0x80);
    r.replace(6, 2, B::Be16(1));
    r.replace(10, 2, B::Be16(1));
    const QByteArray name = B::Name(exchange);
    return r + B::Pointer(12) + B::Be16(15) + B::Be16(1) + B::Be32(60) +
           B::Be16(int(name.size()) + 2) + B::Be16(10) + name + name + B::Be16(1) + B::Be16(1) +
           B::Be32(60) + B::Be16(4) + B::Be32(address);
}

struct Outcome {
    bool done = false, resolved = false;
    QStringList addresses;
};

Outcome LookUp(quint16 port, const QString& domain) {
    Outcome out;
    QObject context;
    TMailLookupThread* t = TMailLookupThread::ForExchangers(kServer, port, domain);
    QObject::connect(t, &TMailLookupThread::Found, &context,
                     [&](bool resolved, const QStringList& addresses) {
                         out = {true, resolved, addresses};
                     });
    t->start();
    QElapsedTimer wait;
    wait.start();
    while (!out.done && wait.elapsed() < 8000)
        QTest::qWait(10);
    return out;
}

TEST(DNSMailLookup, SpoofedAndMismatchedAnswersDoNotBecomeCandidates) {
    using Reply = TScriptedUdpServer::Reply;
    const quint32 spoofed = 0x7f060606; // 127.6.6.6
    TScriptedUdpServer server(kServer, TScriptedUdpServer::Replies([&](const QByteArray& q) {
                                  QByteArray otherId = MXAnswer(q, "mx.spoof.test", spoofed);
                                  otherId[0] = char(q[0] ^ 0x5a);
                                  QByteArray notResponse = MXAnswer(q, "mx.spoof.test", spoofed);
                                  notResponse[2] = char(notResponse[2] & 0x7f);
                                  QByteArray otherName = MXAnswer(q, "mx.spoof.test", spoofed);
                                  otherName[13] = 'x'; // "xelmora.test"
                                  return QList<Reply>{
                                      {otherId, true},
                                      {MXAnswer(q, "mx.spoof.test", spoofed), true},
                                      {notResponse},
                                      {otherName},
                                      {MXAnswer(q, "mx1.velmora.test", 0x7f000019), false, 50}};
                              }));
    ASSERT_NE(server.Port(), 0);
    const Outcome out = LookUp(server.Port(), "velmora.test");
    ASSERT_TRUE(out.done);
    EXPECT_TRUE(out.resolved);
    EXPECT_EQ(out.addresses, QStringList{"127.0.0.25"});
    EXPECT_EQ(server.Received().size(), 1);
}

TEST(DNSMailLookup, TwelveZeroBytesAreNoAnswer) {
    TScriptedUdpServer server(kServer, [](const QByteArray&) { return QByteArray(12, '\0'); });
    ASSERT_NE(server.Port(), 0);
    QElapsedTimer t;
    t.start();
    const Outcome out = LookUp(server.Port(), "velmora.test");
    ASSERT_TRUE(out.done);
    EXPECT_FALSE(out.resolved);
    EXPECT_TRUE(out.addresses.isEmpty());
    EXPECT_GE(t.elapsed(), 4900) << "the lookup waits out its time-out";
}

} // namespace
