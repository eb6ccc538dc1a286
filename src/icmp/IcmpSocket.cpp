#include "icmp/IcmpSocket.h"

#include "icmp/IcmpPacket.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

int OpenDatagram(int& error) {
    int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    error = s < 0 ? errno : 0;
    return s;
}

int OpenRaw(int& error) {
    int s = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    error = s < 0 ? errno : 0;
    return s;
}

// Whether a failed datagram socket is worth a raw attempt.
bool RawMayHelp(int datagramErrno) {
    switch (datagramErrno) {
    case EACCES: // our group is outside net.ipv4.ping_group_range
    case EPERM:  // a security module refused; CAP_NET_RAW may still be granted
    case EPROTONOSUPPORT:
    case ESOCKTNOSUPPORT:
    case EAFNOSUPPORT: // a kernel built without ping sockets
        return true;
    default:
        // EMFILE, ENFILE, ENOBUFS, ENOMEM: out of descriptors or memory; a raw
        // socket would fail the same way, and the first error is the true one.
        return false;
    }
}

// Each probe gets a fresh identifier and sequence. Sequences from one counter
// keep two probes of this process apart even when their random identifiers
// collide; the random identifier keeps us apart from other programs on raw
// sockets, which see every ICMP packet of the host.
std::atomic<quint32> probeCounter{std::random_device{}()};

quint16 RandomIdentifier() {
    thread_local std::mt19937 generator{std::random_device{}()};
    return quint16(generator());
}

int RemainingNs(SteadyClock::time_point deadline, timespec& out) {
    auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0)
        return 0;
    out.tv_sec = time_t(left.count() / 1000000000);
    out.tv_nsec = long(left.count() % 1000000000);
    return 1;
}

void ClearPendingError(int fd) {
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
}

std::chrono::nanoseconds SinceEpoch(const timespec& t) {
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// The monotonic and the realtime clock read at one instant. A thread
// preempted between the two reads would add that pause to the packet's age
// below, so the pair is read again when the reads lie far apart.
struct TClockPair {
    SteadyClock::time_point steady;
    std::chrono::nanoseconds real;
};

TClockPair ReadClocks() {
    TClockPair best{};
    auto bestGap = SteadyClock::duration::max();
    for (int i = 0; i < 4 && bestGap > std::chrono::microseconds(20); ++i) {
        auto before = SteadyClock::now();
        timespec real{};
        ::clock_gettime(CLOCK_REALTIME, &real);
        auto after = SteadyClock::now();
        if (after - before < bestGap) {
            bestGap = after - before;
            best = {before + (after - before) / 2, SinceEpoch(real)};
        }
    }
    return best;
}

// When the packet just read by recvmsg arrived, on the monotonic clock.
//
// A busy machine may give this thread the processor long after the packet
// came in; that wait is not network time. The kernel stamps every packet on
// arrival (SO_TIMESTAMPNS), but on the realtime clock, which can be stepped.
// So the stamp is compared only with the realtime clock read now: their
// difference is how long the packet waited in the socket's queue, and that
// age is taken off the monotonic time of now. The round trip itself is
// measured on the monotonic clock from the send; a wall-clock step can only
// matter when it falls into the packet's short wait in the queue. Such a
// step gives an age below zero or beyond the whole exchange, and then the
// time of the read stands, as it would without a stamp.
SteadyClock::time_point Arrival(msghdr& msg, SteadyClock::time_point sent) {
    const TClockPair now = ReadClocks();
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS ||
            c->cmsg_len < CMSG_LEN(sizeof(timespec)))
            continue;
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        auto age = now.real - SinceEpoch(stamp);
        if (age < std::chrono::nanoseconds::zero() || age > now.steady - sent)
            break;
        return now.steady - age;
    }
    return now.steady;
}

quint32 WholeMs(SteadyClock::duration d) {
    // Whole milliseconds, truncated, as the platform's echo reports them.
    return quint32(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

} // namespace

TReceiveStamps::TReceiveStamps() : fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    // Without it (out of descriptors) a reply that comes before the kernel
    // has switched stamping on is timed when it is read.
    int on = 1;
    if (fd >= 0)
        ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

TReceiveStamps::~TReceiveStamps() {
    if (fd >= 0)
        ::close(fd);
}

TIcmpSocket::TIcmpSocket(TIcmpSocketChoice choice) {
    // The datagram socket needs no privilege when the sysctl allows our group;
    // it is tried first so that an unprivileged desktop works out of the box.
    if (choice != TIcmpSocketChoice::RawOnly) {
        fd = OpenDatagram(datagramErrno);
        if (fd >= 0) {
            socketKind = TIcmpSocketKind::Datagram;
        } else if (choice == TIcmpSocketChoice::DatagramOnly || !RawMayHelp(datagramErrno)) {
            return;
        }
    }
    if (fd < 0) {
        // EPERM here means neither root nor CAP_NET_RAW: the caller reports
        // the permission that is missing.
        fd = OpenRaw(rawErrno);
        if (fd >= 0)
            socketKind = TIcmpSocketKind::Raw;
    }
    if (fd < 0)
        return;

    int on = 1;
    // Echo to a broadcast address is allowed, as on the original platform.
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // Each packet comes with the instant the kernel received it, so a reply
    // read late still gets its own round-trip time (see Arrival). Without
    // it the time of the read is taken.
    ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    if (socketKind == TIcmpSocketKind::Datagram) {
        // Reports about our requests arrive on the error queue only when asked
        // for; the reply's TTL comes as ancillary data.
        ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    } else {
        // A raw socket gets a copy of every ICMP packet; let through only the
        // kinds that can answer an echo.
        icmp_filter filter{};
        filter.data =
            ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_TIME_EXCEEDED));
        ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    }
}

TIcmpSocket::~TIcmpSocket() {
    if (fd >= 0)
        ::close(fd);
}

TEchoOutcome TIcmpSocket::exchange(quint32 destination, const QByteArray& data,
                                   std::optional<quint8> ttl, int timeoutMs, quint8* replyArea,
                                   std::size_t replyAreaSize) {
    using namespace IcmpWire;
    TEchoOutcome out;
    if (fd < 0) {
        out.status = TEchoOutcome::SendFailed;
        out.error = EBADF;
        return out;
    }
    if (ttl) {
        int value = *ttl;
        if (::setsockopt(fd, IPPROTO_IP, IP_TTL, &value, sizeof value) != 0) {
            out.status = TEchoOutcome::SendFailed;
            out.error = errno;
            return out;
        }
    }

    TProbeKey key;
    key.identifier = RandomIdentifier();
    key.sequence = quint16(probeCounter.fetch_add(1));
    key.destination = destination;
    QByteArray packet = BuildEchoRequest(key.identifier, key.sequence, data);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destination;

    auto deadline = SteadyClock::now() + std::chrono::milliseconds(qMax(0, timeoutMs));
    SteadyClock::time_point start;
    ssize_t sent;
    do {
        start = SteadyClock::now(); // the send instant, as close to the send as it gets
        sent = ::sendto(fd, packet.constData(), size_t(packet.size()), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        out.status = TEchoOutcome::SendFailed;
        out.error = errno;
        return out;
    }
    if (socketKind == TIcmpSocketKind::Datagram) {
        // The kernel puts the socket's port in place of our identifier, and
        // delivers to this socket only the replies that carry it.
        sockaddr_in local{};
        socklen_t len = sizeof local;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0)
            key.identifier = ntohs(local.sin_port);
    }

    for (;;) {
        timespec left{};
        if (!RemainingNs(deadline, left)) {
            out.status = TEchoOutcome::TimedOut;
            return out;
        }
        pollfd p{fd, POLLIN, 0};
        int ready = ::ppoll(&p, 1, &left, nullptr);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            // Nothing sensible to wait on any more; treat as no answer.
            out.status = TEchoOutcome::TimedOut;
            return out;
        }
        if (ready == 0)
            continue; // the deadline check above ends the wait
        if (beforeReading)
            beforeReading();

        sockaddr_in from{};
        alignas(cmsghdr) char control[512];
        iovec iov{replyArea, replyAreaSize};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;

        if (p.revents & POLLNVAL) {
            out.status = TEchoOutcome::TimedOut;
            return out;
        }
        if (socketKind == TIcmpSocketKind::Raw && (p.revents & POLLERR)) {
            // A report about someone's packet set the socket's pending error.
            // The next read would clear it, but without a packet to read poll
            // would keep waking, so clear it here.
            ClearPendingError(fd);
        }
        if (socketKind == TIcmpSocketKind::Datagram && (p.revents & POLLERR)) {
            ssize_t n = ::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
            if (n < 0) {
                ClearPendingError(fd);
                continue;
            }
            const auto received = Arrival(msg, start);
            auto quoted = ParseQuotedRequest(replyArea, std::size_t(n));
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                    continue;
                auto* ee = reinterpret_cast<sock_extended_err*>(CMSG_DATA(c));
                if (ee->ee_origin != SO_EE_ORIGIN_ICMP || !quoted)
                    continue;
                TIcmpMessage m;
                m.type = ee->ee_type;
                m.code = ee->ee_code;
                m.identifier = quoted->identifier;
                m.sequence = quoted->sequence;
                // The error queue names the original destination as the sender.
                m.originalDestination = from.sin_addr.s_addr;
                auto* offender = reinterpret_cast<sockaddr_in*>(SO_EE_OFFENDER(ee));
                m.source = offender->sin_family == AF_INET ? offender->sin_addr.s_addr : 0;
                if (Match(m, key) == TMatch::Report) {
                    out.status = TEchoOutcome::Reported;
                    out.roundTripMs = WholeMs(received - start);
                    out.source = m.source;
                    out.type = m.type;
                    out.code = m.code;
                    return out;
                }
            }
            continue;
        }
        if (!(p.revents & POLLIN))
            continue;
        ssize_t n = ::recvmsg(fd, &msg, MSG_DONTWAIT);
        if (n < 0)
            continue;
        const auto received = Arrival(msg, start);
        std::optional<TIcmpMessage> m;
        if (socketKind == TIcmpSocketKind::Raw) {
            m = ParseIpDatagram(replyArea, std::size_t(n));
        } else {
            int replyTtl = -1;
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL)
                    std::memcpy(&replyTtl, CMSG_DATA(c), sizeof replyTtl);
            m = ParseIcmpMessage(replyArea, std::size_t(n), from.sin_addr.s_addr, replyTtl);
        }
        if (!m)
            continue;
        TMatch match = Match(*m, key);
        if (match == TMatch::Foreign)
            continue;
        out.status = match == TMatch::Reply ? TEchoOutcome::Answered : TEchoOutcome::Reported;
        out.roundTripMs = WholeMs(received - start);
        out.source = m->source;
        out.ttl = m->ttl;
        out.dataSize = m->dataSize;
        out.type = m->type;
        out.code = m->code;
        return out;
    }
}
