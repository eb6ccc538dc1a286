#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// A UDP server on a loopback address that answers each datagram as its
// script says (a reply, several, or silence) and records every datagram it
// received. It stops by itself after a minute, whatever the test does.
class TScriptedUdpServer {
public:
    // Returns the reply to a received datagram, or nothing to stay silent.
    using Script = std::function<std::optional<QByteArray>(const QByteArray& received)>;

    // One datagram sent back, after `delayMs`, from the server's port or from
    // a second socket on the same address with a port of its own (a sender
    // the client never asked).
    struct Reply {
        QByteArray bytes;
        bool fromOtherPort = false;
        int delayMs = 0;
    };
    using Replies = std::function<QList<Reply>(const QByteArray& received)>;

    // Binds `address` on a free port; Port() is 0 when binding failed.
    TScriptedUdpServer(const QString& address, Script script);
    TScriptedUdpServer(const QString& address, Replies replies);
    ~TScriptedUdpServer();
    TScriptedUdpServer(const TScriptedUdpServer&) = delete;
    TScriptedUdpServer& operator=(const TScriptedUdpServer&) = delete;

    quint16 Port() const { return port; }
    quint16 OtherPort() const { return otherPort; }
    QList<QByteArray> Received() const;

private:
    void serve();
    // Sleeps `ms` unless the server is stopping; false when it is.
    bool pause(int ms);

    int fd = -1, otherFd = -1;
    quint16 port = 0, otherPort = 0;
    Replies replies;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    QList<QByteArray> received;
    std::thread worker;
};
