#include "icmp/Pinger.h"

#include "icmp/IcmpPacket.h"
#include "platform/Addresses.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <limits>
#include <netdb.h>
#include <optional>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t ReplyAreaSize = 65535;

QString ErrorText(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

// The first IPv4 address of `host`; numeric forms are answered without a query.
std::optional<quint32> Resolve(const QString& host) {
    if (host.isEmpty())
        return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &result) != 0 || !result)
        return std::nullopt;
    quint32 address = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(result);
    return address;
}

QString ProgramPath() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? QString::fromLocal8Bit(path, int(n)) : QStringLiteral("<program>");
}

bool IsPermissionError(int error) {
    return error == EACCES || error == EPERM;
}

int TimeOutMs(qint32 seconds) {
    return int(std::clamp<qint64>(qint64(seconds) * 1000, 0, std::numeric_limits<int>::max()));
}

} // namespace

TPinger::TPinger()
    : replyArea(ReplyAreaSize), receiveStamps(std::make_shared<const TReceiveStamps>()) {}

qint32 TPinger::ClampPacketSize(qint32 size) {
    return qBound(MinPacketSize, size, MaxPacketSize);
}

QString TPinger::SocketFailureText(int datagramErrno, int rawErrno) {
    if ((datagramErrno == 0 || IsPermissionError(datagramErrno) || datagramErrno == EAFNOSUPPORT ||
         datagramErrno == EPROTONOSUPPORT || datagramErrno == ESOCKTNOSUPPORT) &&
        (rawErrno == 0 || IsPermissionError(rawErrno))) {
        unsigned group = ::getgid();
        return QStringLiteral("ICMP needs CAP_NET_RAW (setcap cap_net_raw+ep %1) or group %2 "
                              "within net.ipv4.ping_group_range (sysctl -w "
                              "net.ipv4.ping_group_range=\"%2 %2\")")
            .arg(ProgramPath())
            .arg(group);
    }
    return QStringLiteral("Cannot open an ICMP socket: %1")
        .arg(ErrorText(rawErrno ? rawErrno : datagramErrno));
}

TPinger::TStart TPinger::CommonStart(TIcmpSocket& socket) {
    Replied = false;
    Resolved = false;
    ReplyText.clear();
    Messages.clear();
    socket.beforeReading = BeforeReading;
    if (!socket.isOpen()) {
        Messages << QStringLiteral("Invalid ICMP Handle")
                 << SocketFailureText(socket.datagramError(), socket.rawError());
        return {};
    }
    auto destination = Resolve(Host);
    if (!destination)
        return {};
    Resolved = true;
    std::fill(replyArea.begin(), replyArea.end(), quint8(0));
    return {true, *destination};
}

bool TPinger::Echo() {
    TIcmpSocket socket(SocketChoice);
    TStart start = CommonStart(socket);
    if (!start.ok)
        return false;
    PacketSize = ClampPacketSize(PacketSize);
    QByteArray data(PacketSize, '*');
    // No TTL of our own: the system's default applies, as for a plain ping.
    TEchoOutcome out = socket.exchange(start.destination, data, std::nullopt, TimeOutMs(TimeOut),
                                       replyArea.data(), replyArea.size());
    switch (out.status) {
    case TEchoOutcome::Answered:
        ReplyText = QStringLiteral("Reply from %1: bytes=%2 time=%3ms TTL=%4")
                        .arg(DottedText(out.source))
                        .arg(out.dataSize)
                        .arg(out.roundTripMs)
                        .arg(qMax(out.ttl, 0));
        RoundTripTime = out.roundTripMs;
        Replied = true;
        return true;
    case TEchoOutcome::Reported:
        // A router (or this host, after a failed neighbour lookup) speaking for
        // the target is no sign that the target is up.
        Messages << QStringLiteral("%1 : %2 reported by %3.")
                        .arg(Host, IcmpWire::ReportText(out.type, out.code),
                             DottedText(out.source));
        return true;
    case TEchoOutcome::TimedOut:
        Messages << Host + QStringLiteral(" : Request timed out.");
        return true;
    case TEchoOutcome::SendFailed:
        break;
    }
    Messages
        << QStringLiteral("%1 : Request could not be sent: %2.").arg(Host, ErrorText(out.error));
    return false;
}

bool TPinger::TraceHop() {
    TIcmpSocket socket(SocketChoice);
    TStart start = CommonStart(socket);
    if (!start.ok)
        return false;
    if (start.destination == IcmpWire::LimitedBroadcast)
        return false;
    QByteArray data(31, '*');
    data.append('\0');
    TEchoOutcome out = socket.exchange(start.destination, data, TTL, TimeOutMs(TimeOut),
                                       replyArea.data(), replyArea.size());
    switch (out.status) {
    case TEchoOutcome::Answered:
    case TEchoOutcome::Reported:
        Messages << DottedText(out.source)
                 << QString::number(out.roundTripMs) + QStringLiteral(" ms");
        Replied = true;
        return true;
    case TEchoOutcome::TimedOut:
        Messages << Host + QStringLiteral(" : Request timed out.") << QStringLiteral("*");
        return true;
    case TEchoOutcome::SendFailed:
        break;
    }
    Messages
        << QStringLiteral("%1 : Request could not be sent: %2.").arg(Host, ErrorText(out.error));
    return false;
}
