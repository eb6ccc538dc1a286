#include "icmp/IcmpPacket.h"

#include <cstring>

namespace IcmpWire {

namespace {

quint16 ReadBe16(const quint8* p) {
    return quint16((p[0] << 8) | p[1]);
}

// Addresses stay in network byte order, as the sockets hand them over.
quint32 ReadAddress(const quint8* p) {
    quint32 a;
    std::memcpy(&a, p, 4);
    return a;
}

// Length of a well-formed IPv4 header at `p`, or 0.
std::size_t IpHeaderLength(const quint8* p, std::size_t size) {
    if (size < 20 || (p[0] >> 4) != 4)
        return 0;
    std::size_t ihl = std::size_t(p[0] & 0x0F) * 4;
    return ihl >= 20 && ihl <= size ? ihl : 0;
}

// The report's body quotes the original IPv4 header and at least the first
// eight bytes of the original datagram.
std::optional<TIcmpMessage> ParseReportBody(TIcmpMessage m, const quint8* body, std::size_t size) {
    std::size_t ihl = IpHeaderLength(body, size);
    if (ihl == 0 || body[9] != 1 /* ICMP */ || size < ihl + HeaderSize)
        return std::nullopt;
    const quint8* quoted = body + ihl;
    if (quoted[0] != TypeEchoRequest)
        return std::nullopt;
    m.originalDestination = ReadAddress(body + 16);
    m.identifier = ReadBe16(quoted + 4);
    m.sequence = ReadBe16(quoted + 6);
    return m;
}

} // namespace

quint16 Checksum(const quint8* bytes, std::size_t size) {
    quint32 sum = 0;
    std::size_t i = 0;
    for (; i + 1 < size; i += 2)
        sum += ReadBe16(bytes + i);
    if (i < size)
        sum += quint32(bytes[i]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

QByteArray BuildEchoRequest(quint16 identifier, quint16 sequence, const QByteArray& data) {
    QByteArray packet(HeaderSize, '\0');
    packet[0] = char(TypeEchoRequest);
    packet[4] = char(identifier >> 8);
    packet[5] = char(identifier & 0xFF);
    packet[6] = char(sequence >> 8);
    packet[7] = char(sequence & 0xFF);
    packet += data;
    quint16 sum = Checksum(reinterpret_cast<const quint8*>(packet.constData()), packet.size());
    packet[2] = char(sum >> 8);
    packet[3] = char(sum & 0xFF);
    return packet;
}

std::optional<TIcmpMessage> ParseIcmpMessage(const quint8* bytes, std::size_t size, quint32 source,
                                             int ttl) {
    if (size < std::size_t(HeaderSize))
        return std::nullopt;
    TIcmpMessage m;
    m.type = bytes[0];
    m.code = bytes[1];
    m.source = source;
    m.ttl = ttl;
    switch (m.type) {
    case TypeEchoReply:
        // A raw socket sees packets before the kernel checks them.
        if (Checksum(bytes, size) != 0)
            return std::nullopt;
        m.identifier = ReadBe16(bytes + 4);
        m.sequence = ReadBe16(bytes + 6);
        m.dataSize = int(size - HeaderSize);
        return m;
    case TypeDestUnreachable:
    case TypeTimeExceeded:
        // Routers may quote less than we sent, so the checksum is left alone;
        // the quoted identifiers decide.
        return ParseReportBody(m, bytes + HeaderSize, size - HeaderSize);
    default:
        return std::nullopt;
    }
}

std::optional<TIcmpMessage> ParseIpDatagram(const quint8* bytes, std::size_t size) {
    std::size_t ihl = IpHeaderLength(bytes, size);
    if (ihl == 0 || bytes[9] != 1)
        return std::nullopt;
    // The total length field bounds the message; trailing link padding is not ours.
    std::size_t total = ReadBe16(bytes + 2);
    if (total >= ihl && total < size)
        size = total;
    return ParseIcmpMessage(bytes + ihl, size - ihl, ReadAddress(bytes + 12), bytes[8]);
}

std::optional<TQuotedRequest> ParseQuotedRequest(const quint8* bytes, std::size_t size) {
    if (size < std::size_t(HeaderSize) || bytes[0] != TypeEchoRequest)
        return std::nullopt;
    return TQuotedRequest{ReadBe16(bytes + 4), ReadBe16(bytes + 6)};
}

TMatch Match(const TIcmpMessage& message, const TProbeKey& probe) {
    if (message.identifier != probe.identifier || message.sequence != probe.sequence)
        return TMatch::Foreign;
    if (message.type == TypeEchoReply)
        return TMatch::Reply;
    if ((message.type == TypeDestUnreachable || message.type == TypeTimeExceeded) &&
        message.originalDestination == probe.destination)
        return TMatch::Report;
    return TMatch::Foreign;
}

QString ReportText(quint8 type, quint8 code) {
    if (type == TypeTimeExceeded)
        return code == 1 ? QStringLiteral("Fragment reassembly time exceeded")
                         : QStringLiteral("TTL expired in transit");
    if (type != TypeDestUnreachable)
        return QStringLiteral("ICMP type %1 code %2").arg(type).arg(code);
    switch (code) {
    case 0:
        return QStringLiteral("Destination net unreachable");
    case 1:
        return QStringLiteral("Destination host unreachable");
    case 2:
        return QStringLiteral("Destination protocol unreachable");
    case 3:
        return QStringLiteral("Destination port unreachable");
    case 4:
        return QStringLiteral("Fragmentation needed");
    case 5:
        return QStringLiteral("Source route failed");
    case 6:
        return QStringLiteral("Destination net unknown");
    case 7:
        return QStringLiteral("Destination host unknown");
    case 9:
    case 10:
    case 13:
        return QStringLiteral("Communication administratively prohibited");
    default:
        return QStringLiteral("Destination unreachable (code %1)").arg(code);
    }
}

} // namespace IcmpWire
