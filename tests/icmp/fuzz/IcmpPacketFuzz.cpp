// libFuzzer target: whatever a raw or a datagram ICMP socket delivers must
// parse (or be refused) without reading outside the bytes received, and
// what parses must be a message our probe can own. The same bytes also
// make an echo request, which has to come back as its own reply.
#include "FuzzCheck.h"
#include "icmp/IcmpPacket.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace IcmpWire;

namespace {

void checkMessage(const TIcmpMessage& m, size_t icmpSize) {
    FUZZ_CHECK(m.type == TypeEchoReply || m.type == TypeDestUnreachable ||
               m.type == TypeTimeExceeded);
    FUZZ_CHECK(!ReportText(m.type, m.code).isEmpty());
    const TProbeKey probe{m.identifier, m.sequence, m.originalDestination};
    if (m.type == TypeEchoReply) {
        FUZZ_CHECK(m.dataSize >= 0 && size_t(m.dataSize) + HeaderSize == icmpSize);
        FUZZ_CHECK(Match(m, probe) == TMatch::Reply);
    } else {
        FUZZ_CHECK(m.dataSize == 0);
        FUZZ_CHECK(Match(m, probe) == TMatch::Report);
        FUZZ_CHECK(Match(m, {m.identifier, m.sequence, ~m.originalDestination}) == TMatch::Foreign);
    }
    FUZZ_CHECK(Match(m, {quint16(m.identifier + 1), m.sequence, m.originalDestination}) ==
               TMatch::Foreign);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Raw socket: IPv4 header first.
    if (const std::optional<TIcmpMessage> m = ParseIpDatagram(data, size)) {
        const size_t ihl = size_t(data[0] & 0x0f) * 4;
        const size_t total = (size_t(data[2]) << 8) | data[3];
        const size_t ipSize = total >= ihl && total < size ? total : size;
        checkMessage(*m, ipSize - ihl);
        quint32 source;
        std::memcpy(&source, data + 12, 4);
        FUZZ_CHECK(m->source == source && m->ttl == data[8]);
    }
    // Datagram socket: the ICMP message alone.
    if (const std::optional<TIcmpMessage> m = ParseIcmpMessage(data, size, 0x0100007f, 64)) {
        checkMessage(*m, size);
        FUZZ_CHECK(m->source == 0x0100007f && m->ttl == 64);
    }
    if (const std::optional<TQuotedRequest> q = ParseQuotedRequest(data, size))
        FUZZ_CHECK(size >= size_t(HeaderSize) && data[0] == TypeEchoRequest &&
                   q->identifier == ((data[4] << 8) | data[5]) &&
                   q->sequence == ((data[6] << 8) | data[7]));

    // Our own request, answered by a peer that only changes its type.
    if (size >= 4) {
        const quint16 identifier = quint16((data[0] << 8) | data[1]);
        const quint16 sequence = quint16((data[2] << 8) | data[3]);
        const QByteArray payload(reinterpret_cast<const char*>(data + 4), qsizetype(size - 4));
        QByteArray packet = BuildEchoRequest(identifier, sequence, payload);
        const auto* bytes = reinterpret_cast<const quint8*>(packet.constData());
        FUZZ_CHECK(packet.size() == HeaderSize + payload.size());
        FUZZ_CHECK(Checksum(bytes, size_t(packet.size())) == 0);
        const std::optional<TQuotedRequest> quoted =
            ParseQuotedRequest(bytes, size_t(packet.size()));
        FUZZ_CHECK(quoted && quoted->identifier == identifier && quoted->sequence == sequence);
        packet[0] = char(TypeEchoReply);
        packet[2] = packet[3] = 0;
        const quint16 sum = Checksum(bytes, size_t(packet.size()));
        packet[2] = char(sum >> 8);
        packet[3] = char(sum & 0xff);
        bytes = reinterpret_cast<const quint8*>(packet.constData());
        const std::optional<TIcmpMessage> reply =
            ParseIcmpMessage(bytes, size_t(packet.size()), 0x0100007f, 1);
        FUZZ_CHECK(reply && reply->identifier == identifier && reply->sequence == sequence &&
                   reply->dataSize == payload.size());
    }
    return 0;
}
