#include "ScriptedUdpServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// No test talks to a peer longer than this.
constexpr auto kLifetime = std::chrono::seconds(60);

// A UDP socket bound to `address` on a free port; -1 when that fails.
int BindFree(const QString& address, quint16& port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

} // namespace

TScriptedUdpServer::TScriptedUdpServer(const QString& address, Script script)
    : TScriptedUdpServer(address, Replies([script](const QByteArray& datagram) {
                             QList<Reply> out;
                             if (const std::optional<QByteArray> reply = script(datagram))
                                 out << Reply{*reply};
                             return out;
                         })) {}

TScriptedUdpServer::TScriptedUdpServer(const QString& address, Replies r) : replies(std::move(r)) {
    quint16 p = 0, other = 0;
    fd = BindFree(address, p);
    otherFd = BindFree(address, other);
    if (fd < 0 || otherFd < 0)
        return;
    port = p;
    otherPort = other;
    worker = std::thread([this] { serve(); });
}

TScriptedUdpServer::~TScriptedUdpServer() {
    stopping = true;
    if (worker.joinable())
        worker.join();
    for (const int s : {fd, otherFd})
        if (s >= 0)
            ::close(s);
}

QList<QByteArray> TScriptedUdpServer::Received() const {
    std::lock_guard lock(mutex);
    return received;
}

bool TScriptedUdpServer::pause(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !stopping;
}

void TScriptedUdpServer::serve() {
    const auto end = std::chrono::steady_clock::now() + kLifetime;
    // Short polls so that the destructor never waits long for the thread.
    while (!stopping && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        char buffer[65536];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n =
            ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0)
            continue;
        const QByteArray datagram(buffer, int(n));
        {
            std::lock_guard lock(mutex);
            received << datagram;
        }
        for (const Reply& reply : replies(datagram)) {
            if (!pause(reply.delayMs))
                return;
            ::sendto(reply.fromOtherPort ? otherFd : fd, reply.bytes.constData(),
                     size_t(reply.bytes.size()), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }
}
