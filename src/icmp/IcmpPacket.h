#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <optional>

// The bytes of ICMP echo probes and of what comes back: building a request,
// reading a reply or an error report, and deciding whether it belongs to our
// probe. No sockets here, so every rule can be tested on plain buffers.
namespace IcmpWire {

constexpr quint8 TypeEchoReply = 0;
constexpr quint8 TypeDestUnreachable = 3;
constexpr quint8 TypeEchoRequest = 8;
constexpr quint8 TypeTimeExceeded = 11;
constexpr int HeaderSize = 8;
constexpr quint32 LimitedBroadcast = 0xFFFFFFFFu;

// The Internet checksum (RFC 1071) over `size` bytes.
quint16 Checksum(const quint8* bytes, std::size_t size);

// An echo request: 8-byte header with identifier and sequence, then `data`.
QByteArray BuildEchoRequest(quint16 identifier, quint16 sequence, const QByteArray& data);

// One ICMP message that arrived. For an echo reply, identifier and sequence
// are its own; for an error report they are those of the echo request that
// the report quotes, and originalDestination is where that request went.
struct TIcmpMessage {
    quint8 type = 0;
    quint8 code = 0;
    quint32 source = 0; // sender, network byte order
    int ttl = -1;       // time-to-live of the arriving packet, -1 when unknown
    quint16 identifier = 0;
    quint16 sequence = 0;
    int dataSize = 0;                // echo reply: bytes after the header
    quint32 originalDestination = 0; // reports: network byte order
};

// What a raw ICMP socket delivers: an IPv4 header, then the ICMP message.
// Only echo replies and reports quoting an echo request are returned.
std::optional<TIcmpMessage> ParseIpDatagram(const quint8* bytes, std::size_t size);

// What a datagram ICMP socket delivers: the ICMP message alone; the sender
// and time-to-live come from the socket.
std::optional<TIcmpMessage> ParseIcmpMessage(const quint8* bytes, std::size_t size, quint32 source,
                                             int ttl);

// The header of our own request as quoted back in an error report (what a
// datagram socket's error queue gives). Returns {identifier, sequence}.
struct TQuotedRequest {
    quint16 identifier = 0;
    quint16 sequence = 0;
};
std::optional<TQuotedRequest> ParseQuotedRequest(const quint8* bytes, std::size_t size);

// The probe a message has to belong to.
struct TProbeKey {
    quint16 identifier = 0;
    quint16 sequence = 0;
    quint32 destination = 0; // network byte order
};

enum class TMatch { Foreign, Reply, Report };

// An echo reply is ours when identifier and sequence agree (a broadcast
// probe is answered from other addresses, so the sender is not compared).
// A report is ours when the request it quotes is ours, including where it
// went.
TMatch Match(const TIcmpMessage& message, const TProbeKey& probe);

// Operator text for a destination-unreachable or time-exceeded report, in
// the words ping programs use ("Destination host unreachable").
QString ReportText(quint8 type, quint8 code);

} // namespace IcmpWire
