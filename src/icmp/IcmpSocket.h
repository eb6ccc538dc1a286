#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>
#include <functional>
#include <optional>

// One ICMP socket for one probe: opened, used for a single echo exchange and
// closed again, so nothing of the system is held between probes.
enum class TIcmpSocketKind { None, Datagram, Raw };
enum class TIcmpSocketChoice { Auto, DatagramOnly, RawOnly };

struct TEchoOutcome {
    enum TStatus { Answered, Reported, TimedOut, SendFailed };
    TStatus status = TimedOut;
    quint32 source = 0; // network byte order: who answered or reported
    quint32 roundTripMs = 0;
    int dataSize = 0; // echo reply data bytes
    int ttl = -1;     // time-to-live of the reply, -1 when the socket did not tell
    quint8 type = 0;  // ICMP type and code of the answer or report
    quint8 code = 0;
    int error = 0; // errno of a failed send
};

// Keeps the kernel stamping arriving packets for as long as it lives. The
// kernel stamps them only while some socket asks for stamps, and it starts
// doing so a moment after the first one asks (the switch is deferred to a
// work item, late on a busy machine). A probe's socket, opened just before
// its send, would often see its reply arrive unstamped; so a pinger holds
// one of these for its whole life: an unbound UDP socket that sends and
// receives nothing.
class TReceiveStamps {
public:
    TReceiveStamps();
    ~TReceiveStamps();
    TReceiveStamps(const TReceiveStamps&) = delete;
    TReceiveStamps& operator=(const TReceiveStamps&) = delete;

private:
    int fd = -1;
};

class TIcmpSocket {
public:
    explicit TIcmpSocket(TIcmpSocketChoice choice = TIcmpSocketChoice::Auto);
    ~TIcmpSocket();
    TIcmpSocket(const TIcmpSocket&) = delete;
    TIcmpSocket& operator=(const TIcmpSocket&) = delete;

    bool isOpen() const { return fd >= 0; }
    TIcmpSocketKind kind() const { return socketKind; }
    // errno of the attempts that failed (0 when not tried or successful).
    int datagramError() const { return datagramErrno; }
    int rawError() const { return rawErrno; }

    // Sends one echo request carrying `data` to `destination` (network byte
    // order) and waits at most `timeoutMs` for its reply or an error report
    // about it. `ttl` empty leaves the system's default time-to-live.
    // `replyArea` receives the packets; it must hold at least 65535 bytes.
    TEchoOutcome exchange(quint32 destination, const QByteArray& data, std::optional<quint8> ttl,
                          int timeoutMs, quint8* replyArea, std::size_t replyAreaSize);

    // Runs each time the wait wakes with something to read, before it is
    // read. Tests make it sleep to stand in for a busy machine that gives this
    // thread the processor late.
    std::function<void()> beforeReading;

private:
    int fd = -1;
    TIcmpSocketKind socketKind = TIcmpSocketKind::None;
    int datagramErrno = 0;
    int rawErrno = 0;
};
