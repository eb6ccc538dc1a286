#include "ScriptedUdpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TScriptedUdpServer::TScriptedUdpServer(const QString& address, Script s) : script(std::move(s)) {
    fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    port = ntohs(a.sin_port);
    worker = std::thread([this] { serve(); });
}

TScriptedUdpServer::~TScriptedUdpServer() {
    stopping = true;
    if (worker.joinable())
        worker.join();
    if (fd >= 0)
        ::close(fd);
}

QList<QByteArray> TScriptedUdpServer::Received() const {
    std::lock_guard lock(mutex);
    return received;
}

void TScriptedUdpServer::serve() {
    // Short polls so that the destructor never waits long for the thread.
    while (!stopping) {
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
        if (const std::optional<QByteArray> reply = script(datagram))
            ::sendto(fd, reply->constData(), size_t(reply->size()), 0,
                     reinterpret_cast<sockaddr*>(&from), len);
    }
}
