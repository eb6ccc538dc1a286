#include "dns/DNSResolver.h"

#include "dns/DNSCodec.h"
#include "dns/DNSRecordText.h"
#include "platform/Addresses.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Closes the socket however the exchange ends.
class TSocketGuard {
public:
    explicit TSocketGuard(int fd) : fd(fd) {}
    ~TSocketGuard() {
        if (fd >= 0)
            ::close(fd);
    }
    TSocketGuard(const TSocketGuard&) = delete;
    TSocketGuard& operator=(const TSocketGuard&) = delete;
    int get() const { return fd; }

private:
    int fd;
};

// Waits for the socket to become readable until `deadline`, also when
// signals interrupt the wait.
bool WaitReadable(int fd, const QDeadlineTimer& deadline) {
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, int(deadline.remainingTime()));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR || deadline.hasExpired())
            return false;
    }
}

} // namespace

QString DNSServerAddress(const QString& server, int timeoutSecs) {
    const QByteArray text = server.toUtf8();
    if (text.isEmpty())
        return QString();
    if (const auto direct = InetAddr(server))
        return DottedText(*direct);

    // getaddrinfo alone may wait as long as the system resolver likes; the
    // asynchronous form lets the lookup share the query's time-out.
    auto* request = new gaicb{};
    auto* hints = new addrinfo{};
    hints->ai_family = AF_INET;
    hints->ai_socktype = SOCK_DGRAM;
    auto* name = new QByteArray(text);
    request->ar_name = name->constData();
    request->ar_request = hints;
    gaicb* list[1] = {request};
    if (::getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) {
        delete name;
        delete hints;
        delete request;
        return QString();
    }
    QElapsedTimer elapsed;
    elapsed.start();
    const qint64 budget = qint64(qMax(0, timeoutSecs)) * 1000;
    for (;;) {
        const qint64 left = qMax<qint64>(0, budget - elapsed.elapsed());
        const timespec wait{time_t(left / 1000), long(left % 1000) * 1000000L};
        if (::gai_suspend(list, 1, &wait) != EAI_INTR || left == 0)
            break;
    }
    if (::gai_error(request) == EAI_INPROGRESS && ::gai_cancel(request) == EAI_NOTCANCELED) {
        // Still running in glibc's helper thread, which owns the request now:
        // leaking it is the price of not waiting.
        return QString();
    }
    QString result;
    if (::gai_error(request) == 0 && request->ar_result) {
        for (addrinfo* ai = request->ar_result; ai; ai = ai->ai_next) {
            if (ai->ai_family == AF_INET) {
                result =
                    DottedText(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
                break;
            }
        }
    }
    if (request->ar_result)
        ::freeaddrinfo(request->ar_result);
    delete name;
    delete hints;
    delete request;
    return result;
}

void TDNSResolver::clearResults() {
    Authoritative = false;
    ResponseFrom = 0;
    AnswerLines.clear();
    AuthorityLines.clear();
    AdditionalLines.clear();
    AnswerValues.clear();
    AuthorityValues.clear();
    AdditionalValues.clear();
}

QString TDNSResolver::ResponseFromText() const {
    return DottedText(ResponseFrom);
}

bool TDNSResolver::Resolve() {
    clearResults();
    TSocketGuard sock(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
    if (sock.get() < 0)
        return false;

    // A fresh unpredictable identifier for each query: with the connected
    // socket and the question check, an off-path sender has to guess it.
    const auto id = quint16(QRandomGenerator::system()->generate() & 0xffff);
    const std::optional<QByteArray> query = BuildDNSQuery(Query, QueryType, Recursive, id);
    if (!query || query->size() > DNS::kQueryArea)
        return false;

    const QString address = DNSServerAddress(Server, TimeOut);
    if (address.isEmpty())
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(Port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &to.sin_addr) != 1)
        return false;
    // Connected, the socket only receives datagrams from the server's address
    // and port; the kernel drops all others.
    if (::connect(sock.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
        return false;
    if (::send(sock.get(), query->constData(), size_t(query->size()), 0) != query->size())
        return false;

    // One deadline for the whole wait: a datagram that is not the answer is
    // dropped and the wait goes on, but never restarts.
    const QDeadlineTimer deadline(qint64(qMax(0, TimeOut)) * 1000);
    std::optional<TDNSResponse> response;
    while (!response) {
        if (!WaitReadable(sock.get(), deadline))
            return false;
        // With MSG_TRUNC the kernel reports the datagram's real length, so one
        // that does not fit the area is dropped rather than cut.
        char buffer[DNS::kResponseArea];
        const ssize_t n = ::recv(sock.get(), buffer, sizeof buffer, MSG_TRUNC);
        if (n < 0) {
            // Nothing listens on the server's port: the connected socket reports
            // the ICMP error here, once. The unconnected socket never saw it and
            // the query timed out; it still does, whatever ICMP says.
            if (errno == EINTR || errno == ECONNREFUSED)
                continue;
            return false;
        }
        if (n > DNS::kResponseArea)
            continue;
        const QByteArray datagram(buffer, int(n));
        if (DNSResponseMatchesQuery(*query, datagram))
            response = DecodeDNSResponse(datagram);
    }
    ResponseFrom = to.sin_addr.s_addr;
    Authoritative = response->Authoritative;
    TDNSSection answer = DNSSectionText(response->Answer);
    TDNSSection authority = DNSSectionText(response->Authority);
    TDNSSection additional = DNSSectionText(response->Additional);
    AnswerLines = std::move(answer.Lines);
    AnswerValues = std::move(answer.Values);
    AuthorityLines = std::move(authority.Lines);
    AuthorityValues = std::move(authority.Values);
    AdditionalLines = std::move(additional.Lines);
    AdditionalValues = std::move(additional.Values);
    return true;
}
