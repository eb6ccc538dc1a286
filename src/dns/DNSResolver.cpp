#include "dns/DNSResolver.h"

#include "dns/DNSCodec.h"
#include "platform/Helpers.h"

#include <QElapsedTimer>
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

// Waits for the socket to become readable, at most `timeoutSecs` in all,
// also when signals interrupt the wait.
bool WaitReadable(int fd, int timeoutSecs) {
    QElapsedTimer elapsed;
    elapsed.start();
    const qint64 budget = qint64(qMax(0, timeoutSecs)) * 1000;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int left = int(qMax<qint64>(0, budget - elapsed.elapsed()));
        const int n = ::poll(&p, 1, left);
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR || elapsed.elapsed() >= budget)
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

    const std::optional<QByteArray> query = BuildDNSQuery(Query, QueryType, Recursive);
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
    if (::sendto(sock.get(), query->constData(), size_t(query->size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) != query->size())
        return false;

    if (!WaitReadable(sock.get(), TimeOut))
        return false;

    // With MSG_TRUNC the kernel reports the datagram's real length, so one
    // that does not fit the area is refused rather than cut.
    char buffer[DNS::kResponseArea];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t n;
    do {
        n = ::recvfrom(sock.get(), buffer, sizeof buffer, MSG_TRUNC,
                       reinterpret_cast<sockaddr*>(&from), &fromLength);
    } while (n < 0 && errno == EINTR);
    if (n < 0 || n > DNS::kResponseArea)
        return false;

    const std::optional<TDNSResponse> response = DecodeDNSResponse(QByteArray(buffer, int(n)));
    if (!response)
        return false;
    ResponseFrom = from.sin_addr.s_addr;
    Authoritative = response->Authoritative;
    AnswerLines = response->Answer.Lines;
    AnswerValues = response->Answer.Values;
    AuthorityLines = response->Authority.Lines;
    AuthorityValues = response->Authority.Values;
    AdditionalLines = response->Additional.Lines;
    AdditionalValues = response->Additional.Values;
    return true;
}
