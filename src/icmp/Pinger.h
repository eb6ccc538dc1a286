#pragma once

#include "icmp/IcmpSocket.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

// One ICMP probe per call, its outcome left in the result fields.
//
// Echo() and TraceHop() block for at most TimeOut seconds plus the host-name
// lookup, so they belong on a worker thread. An instance serves one thread at
// a time; separate instances may probe at the same moment from different
// threads, each reply reaching only the probe that sent its request.
class TPinger {
public:
    TPinger();

    // Inputs, set before a call.
    QString Host;           // host name or dotted IPv4 address
    qint32 TimeOut = 5;     // seconds
    quint8 TTL = 64;        // trace hop only
    qint32 PacketSize = 32; // echo data bytes, clamped to 1..65500 by Echo()
    static constexpr qint32 MaxHops = 30;

    // Results of the last call.
    QString ReplyText;
    quint32 RoundTripTime = 0; // ms; kept from the last answered echo
    QStringList Messages;
    bool Replied = false;
    // Whether Host resolved in the last call (false also when no socket
    // could be opened before the lookup).
    bool Resolved = false;

    // One echo request. True when it was sent (answered or not); false when no
    // ICMP socket can be opened, Host does not resolve or the request cannot
    // be sent. Only an echo reply sets Replied: an unreachable or
    // time-exceeded report leaves it false and adds a line naming the reporter.
    bool Echo();

    // One echo request with time-to-live TTL. When it returns true, Messages
    // holds exactly two lines: the answering address and "<n> ms", or the
    // time-out line and "*". An echo reply and a router's report both count.
    bool TraceHop();

    // Which kind of ICMP socket to use; tests pin one of them.
    TIcmpSocketChoice SocketChoice = TIcmpSocketChoice::Auto;
    // Handed to the probe's socket (TIcmpSocket::beforeReading); tests only.
    std::function<void()> BeforeReading;

    static constexpr qint32 MinPacketSize = 1;
    static constexpr qint32 MaxPacketSize = 65500;
    static qint32 ClampPacketSize(qint32 size);

    // The line for an unopenable ICMP socket that tells the operator what
    // permission is missing.
    static QString SocketFailureText(int datagramErrno, int rawErrno);

private:
    struct TStart {
        bool ok = false;
        quint32 destination = 0;
    };
    TStart CommonStart(TIcmpSocket& socket);

    std::vector<quint8> replyArea;
    // Shared by copies; for the pinger's life, as its reply area.
    std::shared_ptr<const TReceiveStamps> receiveStamps;
};
