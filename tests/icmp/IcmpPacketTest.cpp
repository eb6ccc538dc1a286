#include "icmp/IcmpPacket.h"
#include "QtPrinters.h"
#include "icmp/Pinger.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace IcmpWire;

namespace {

using Bytes = std::vector<quint8>;

quint32 Addr(const char* dotted) {
    return ::inet_addr(dotted);
}

Bytes ToBytes(const QByteArray& a) {
    return Bytes(a.begin(), a.end());
}

// An IPv4 header (no options unless asked) in front of `payload`.
Bytes Ip(const char* source, const char* dest, quint8 ttl, const Bytes& payload,
         int optionWords = 0, quint8 protocol = 1) {
    int ihl = 5 + optionWords;
    Bytes b(std::size_t(ihl * 4), 0);
    b[0] = quint8(0x40 | ihl);
    std::size_t total = b.size() + payload.size();
    b[2] = quint8(total >> 8);
    b[3] = quint8(total & 0xFF);
    b[8] = ttl;
    b[9] = protocol;
    quint32 s = Addr(source), d = Addr(dest);
    std::memcpy(&b[12], &s, 4);
    std::memcpy(&b[16], &d, 4);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

Bytes EchoReply(quint16 id, quint16 seq, const QByteArray& data) {
    Bytes b = ToBytes(BuildEchoRequest(id, seq, data));
    // Turning a request into a reply changes the type byte by 8: fix the sum.
    b[0] = TypeEchoReply;
    b[2] = b[3] = 0;
    quint16 sum = Checksum(b.data(), b.size());
    b[2] = quint8(sum >> 8);
    b[3] = quint8(sum & 0xFF);
    return b;
}

// A router's report quoting the IP header and first `quoted` bytes of our request.
Bytes Report(quint8 type, quint8 code, const Bytes& originalDatagram, std::size_t quoted) {
    Bytes b = {type, code, 0, 0, 0, 0, 0, 0};
    b.insert(b.end(), originalDatagram.begin(),
             originalDatagram.begin() + std::ptrdiff_t(std::min(quoted, originalDatagram.size())));
    return b;
}

} // namespace

TEST(IcmpChecksum, KnownSumsAndSelfCheck) {
    // The worked example of RFC 1071, and the same with an odd trailing byte.
    Bytes rfc = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    EXPECT_EQ(Checksum(rfc.data(), rfc.size()), 0x220d);
    Bytes odd = {0x00, 0x01, 0xf2};
    EXPECT_EQ(Checksum(odd.data(), odd.size()), quint16(~(0x0001 + 0xf200)));

    for (int size : {0, 1, 31, 32, 65500}) {
        QByteArray p = BuildEchoRequest(0xBEEF, 0x1234, QByteArray(size, '*'));
        Bytes b = ToBytes(p);
        EXPECT_EQ(Checksum(b.data(), b.size()), 0) << size;
    }
}

TEST(IcmpEchoRequest, Layout) {
    Bytes b = ToBytes(BuildEchoRequest(0x0102, 0xA0B0, QByteArray("ab", 2)));
    ASSERT_EQ(b.size(), 10u);
    EXPECT_EQ(b[0], TypeEchoRequest);
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[4], 0x01);
    EXPECT_EQ(b[5], 0x02);
    EXPECT_EQ(b[6], 0xA0);
    EXPECT_EQ(b[7], 0xB0);
    EXPECT_EQ(b[8], 'a');
    EXPECT_EQ(b[9], 'b');
}

TEST(IcmpParse, RawDatagrams) {
    const QByteArray data(32, '*');
    Bytes request = Ip("10.0.0.1", "10.9.9.9", 64, ToBytes(BuildEchoRequest(7, 9, data)));
    Bytes badSum = EchoReply(7, 9, data);
    badSum[10] ^= 1;
    Bytes padded = Ip("10.1.2.3", "10.0.0.1", 128, EchoReply(7, 9, data));
    padded.insert(padded.end(), 6, 0); // link padding after the datagram
    Bytes udp = Ip("10.0.0.1", "10.9.9.9", 64, Bytes(16, 0), 0, 17);

    struct Case {
        const char* name;
        Bytes packet;
        bool parsed;
        quint8 type = 0;
        quint16 id = 0, seq = 0;
        const char* source = "";
        int ttl = -1;
        int dataSize = 0;
        const char* originalDest = "0.0.0.0";
    };
    const Case cases[] = {
        {"echo reply", Ip("10.1.2.3", "10.0.0.1", 128, EchoReply(7, 9, data)), true, 0, 7, 9,
         "10.1.2.3", 128, 32},
        {"reply after IP options", Ip("10.1.2.3", "10.0.0.1", 60, EchoReply(7, 9, data), 2), true,
         0, 7, 9, "10.1.2.3", 60, 32},
        {"padding beyond total length", padded, true, 0, 7, 9, "10.1.2.3", 128, 32},
        {"bad checksum", Ip("10.1.2.3", "10.0.0.1", 64, badSum), false},
        {"truncated ICMP header", Ip("10.1.2.3", "10.0.0.1", 64, Bytes{0, 0, 0}), false},
        {"not ICMP", Ip("10.1.2.3", "10.0.0.1", 64, EchoReply(7, 9, data), 0, 17), false},
        {"echo request (our own on loopback)", request, false},
        {"time exceeded quoting our request",
         Ip("10.5.5.5", "10.0.0.1", 255, Report(TypeTimeExceeded, 0, request, 28)), true,
         TypeTimeExceeded, 7, 9, "10.5.5.5", 255, 0, "10.9.9.9"},
        {"unreachable quoting all of it",
         Ip("10.5.5.5", "10.0.0.1", 64, Report(TypeDestUnreachable, 1, request, 999)), true,
         TypeDestUnreachable, 7, 9, "10.5.5.5", 64, 0, "10.9.9.9"},
        {"report quoting too little",
         Ip("10.5.5.5", "10.0.0.1", 64, Report(TypeDestUnreachable, 1, request, 27)), false},
        {"report about a UDP datagram",
         Ip("10.5.5.5", "10.0.0.1", 64, Report(TypeDestUnreachable, 3, udp, 28)), false},
        {"other ICMP type", Ip("10.5.5.5", "10.0.0.1", 64, Bytes{5, 0, 0, 0, 0, 0, 0, 0}), false},
        {"not IPv4", Bytes(28, 0x60), false},
        {"short IP header", Bytes{0x45, 0, 0, 20}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto m = ParseIpDatagram(c.packet.data(), c.packet.size());
        ASSERT_EQ(m.has_value(), c.parsed);
        if (!m)
            continue;
        EXPECT_EQ(m->type, c.type);
        EXPECT_EQ(m->identifier, c.id);
        EXPECT_EQ(m->sequence, c.seq);
        EXPECT_EQ(m->source, Addr(c.source));
        EXPECT_EQ(m->ttl, c.ttl);
        EXPECT_EQ(m->dataSize, c.dataSize);
        EXPECT_EQ(m->originalDestination, Addr(c.originalDest));
    }
}

TEST(IcmpParse, DatagramSocketMessagesAndQuotes) {
    Bytes reply = EchoReply(0x4242, 3, QByteArray(5, '*'));
    auto m = ParseIcmpMessage(reply.data(), reply.size(), Addr("127.0.0.1"), 64);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->identifier, 0x4242);
    EXPECT_EQ(m->sequence, 3);
    EXPECT_EQ(m->dataSize, 5);
    EXPECT_EQ(m->ttl, 64);
    EXPECT_EQ(m->source, Addr("127.0.0.1"));

    // The error queue hands back our request header (possibly with more).
    Bytes request = ToBytes(BuildEchoRequest(0x4242, 3, QByteArray(5, '*')));
    auto q = ParseQuotedRequest(request.data(), 8);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->identifier, 0x4242);
    EXPECT_EQ(q->sequence, 3);
    EXPECT_FALSE(ParseQuotedRequest(request.data(), 7));
    EXPECT_FALSE(ParseQuotedRequest(reply.data(), reply.size())); // not a request
}

TEST(IcmpMatch, OnlyOurProbe) {
    const TProbeKey probe{100, 5, Addr("10.0.0.9")};
    auto msg = [](quint8 type, quint16 id, quint16 seq, const char* from, const char* orig) {
        TIcmpMessage m;
        m.type = type;
        m.identifier = id;
        m.sequence = seq;
        m.source = Addr(from);
        m.originalDestination = Addr(orig);
        return m;
    };
    struct Case {
        const char* name;
        TIcmpMessage m;
        TMatch expected;
    };
    const Case cases[] = {
        {"our reply", msg(TypeEchoReply, 100, 5, "10.0.0.9", "0.0.0.0"), TMatch::Reply},
        {"reply to a broadcast probe from a third address",
         msg(TypeEchoReply, 100, 5, "10.0.0.7", "0.0.0.0"), TMatch::Reply},
        {"another pinger's sequence", msg(TypeEchoReply, 100, 6, "10.0.0.9", "0.0.0.0"),
         TMatch::Foreign},
        {"another program's identifier", msg(TypeEchoReply, 101, 5, "10.0.0.9", "0.0.0.0"),
         TMatch::Foreign},
        {"report about our request", msg(TypeDestUnreachable, 100, 5, "10.0.0.1", "10.0.0.9"),
         TMatch::Report},
        {"time exceeded about our request", msg(TypeTimeExceeded, 100, 5, "10.0.0.1", "10.0.0.9"),
         TMatch::Report},
        {"report about a request elsewhere",
         msg(TypeDestUnreachable, 100, 5, "10.0.0.1", "10.0.0.8"), TMatch::Foreign},
        {"report about another sequence", msg(TypeTimeExceeded, 100, 4, "10.0.0.1", "10.0.0.9"),
         TMatch::Foreign},
        {"some other type", msg(5, 100, 5, "10.0.0.1", "10.0.0.9"), TMatch::Foreign},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Match(c.m, probe), c.expected) << c.name;
}

TEST(IcmpReportText, Names) {
    struct Case {
        quint8 type, code;
        const char* text;
    };
    const Case cases[] = {
        {TypeDestUnreachable, 0, "Destination net unreachable"},
        {TypeDestUnreachable, 1, "Destination host unreachable"},
        {TypeDestUnreachable, 3, "Destination port unreachable"},
        {TypeDestUnreachable, 13, "Communication administratively prohibited"},
        {TypeDestUnreachable, 15, "Destination unreachable (code 15)"},
        {TypeTimeExceeded, 0, "TTL expired in transit"},
        {TypeTimeExceeded, 1, "Fragment reassembly time exceeded"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReportText(c.type, c.code), QString::fromLatin1(c.text)) << int(c.code);
}

TEST(PingerFields, DefaultsAndClamp) {
    TPinger p;
    EXPECT_TRUE(p.Host.isEmpty());
    EXPECT_EQ(p.TimeOut, 5);
    EXPECT_EQ(p.TTL, 64);
    EXPECT_EQ(p.PacketSize, 32);
    EXPECT_EQ(TPinger::MaxHops, 30);
    EXPECT_TRUE(p.ReplyText.isEmpty());
    EXPECT_EQ(p.RoundTripTime, 0u);
    EXPECT_TRUE(p.Messages.isEmpty());
    EXPECT_FALSE(p.Replied);

    const std::pair<qint32, qint32> cases[] = {
        {-5, 1},        {0, 1},         {1, 1},         {32, 32},
        {65500, 65500}, {65501, 65500}, {70000, 65500}, {INT32_MAX, 65500}};
    for (auto [in, out] : cases)
        EXPECT_EQ(TPinger::ClampPacketSize(in), out) << in;
}

TEST(PingerFields, SocketFailureNamesTheMissingPermission) {
    for (auto [dgram, raw] :
         {std::pair{EACCES, EPERM}, {EPROTONOSUPPORT, EPERM}, {EACCES, EACCES}}) {
        QString text = TPinger::SocketFailureText(dgram, raw);
        EXPECT_TRUE(text.contains("setcap cap_net_raw+ep ")) << text.toStdString();
        EXPECT_TRUE(text.contains("sysctl -w net.ipv4.ping_group_range=")) << text.toStdString();
    }
    EXPECT_EQ(TPinger::SocketFailureText(EMFILE, 0),
              QString("Cannot open an ICMP socket: Too many open files"));
}
