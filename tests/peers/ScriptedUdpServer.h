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
// script says (a reply, or silence) and records every datagram it received.
class TScriptedUdpServer {
public:
    // Returns the reply to a received datagram, or nothing to stay silent.
    using Script = std::function<std::optional<QByteArray>(const QByteArray& received)>;

    // Binds `address` on a free port; Port() is 0 when binding failed.
    TScriptedUdpServer(const QString& address, Script script);
    ~TScriptedUdpServer();
    TScriptedUdpServer(const TScriptedUdpServer&) = delete;
    TScriptedUdpServer& operator=(const TScriptedUdpServer&) = delete;

    quint16 Port() const { return port; }
    QList<QByteArray> Received() const;

private:
    void serve();

    int fd = -1;
    quint16 port = 0;
    Script script;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    QList<QByteArray> received;
    std::thread worker;
};
