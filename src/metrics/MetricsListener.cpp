#include "MetricsListener.h"

#include "MetricsFamilies.h"

#include <arpa/inet.h>
#include <civetweb.h>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// At most this many connections are served at once; further ones wait in
// civetweb's queue. More than a few silent clients may hold a worker each
// for the whole request time-out, and a scrape must still find one free.
constexpr const char* kWorkers = "24";
constexpr const char* kRequestTimeoutMs = "5000";
constexpr const char* kMaxRequestBytes = "8192";

const char kIndexPage[] = "<!DOCTYPE html>\n<html><head><title>Velmora</title></head>\n"
                          "<body><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

// GET /metrics is the text format, / links to it, the rest is 404. Every
// request is answered here, so civetweb serves no files.
int beginRequest(mg_connection* conn) {
    const mg_request_info* ri = mg_get_request_info(conn);
    const std::string_view uri = ri && ri->local_uri ? ri->local_uri : "";
    const std::string_view method = ri && ri->request_method ? ri->request_method : "";
    if (uri == "/metrics") {
        if (method != "GET") {
            mg_send_http_error(conn, 405, "%s", "Method Not Allowed");
            return 405;
        }
        const auto* families =
            static_cast<const TMetricsFamilies*>(mg_get_user_data(mg_get_context(conn)));
        // The end of the text is the end of the connection: its length is
        // not known before it has been written.
        mg_printf(conn, "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; "
                        "charset=utf-8\r\nConnection: close\r\n\r\n");
        bool open = true;
        families->WriteText([&](std::string_view piece) {
            // A client gone (or stalled past the time-out) ends the writing.
            if (open && mg_write(conn, piece.data(), piece.size()) <= 0)
                open = false;
        });
        return 200;
    }
    if (uri == "/") {
        mg_printf(conn,
                  "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                  "Content-Length: %zu\r\nConnection: close\r\n\r\n",
                  sizeof kIndexPage - 1);
        mg_write(conn, kIndexPage, sizeof kIndexPage - 1);
        return 200;
    }
    mg_send_http_error(conn, 404, "%s", "Not Found");
    return 404;
}

// civetweb would print its complaints nowhere useful; the one line the
// operator sees is ours.
int quietLog(const mg_connection*, const char*) {
    return 1;
}

// Why `address` cannot be bound, as the system says it; empty when it can.
// civetweb only reports that its start failed.
QString bindProblem(const TListenAddress& address) {
    const int family = address.ipv6 ? AF_INET6 : AF_INET;
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int rc;
    if (address.ipv6) {
        sockaddr_in6 sa{};
        sa.sin6_family = AF_INET6;
        sa.sin6_port = htons(address.port);
        inet_pton(AF_INET6, address.host.toLatin1().constData(), &sa.sin6_addr);
        rc = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } else {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(address.port);
        inet_pton(AF_INET, address.host.toLatin1().constData(), &sa.sin_addr);
        rc = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    }
    const int error = errno;
    ::close(fd);
    return rc == 0 ? QString() : QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

std::vector<std::string> TMetricsListener::Options(const TListenAddress& address) {
    return {"listening_ports",    address.Text().toStdString(),
            "num_threads",        kWorkers,
            "request_timeout_ms", kRequestTimeoutMs,
            "max_request_size",   kMaxRequestBytes,
            "enable_keep_alive",  "no"};
}

TMetricsListener::TMetricsListener(std::shared_ptr<const TMetricsFamilies> families,
                                   QObject* parent)
    : QObject(parent), worker(new QObject) {
    thread.setObjectName(QStringLiteral("MetricsListener"));
    worker->setObjectName(QStringLiteral("MetricsListenerWorker"));
    worker->moveToThread(&thread);
    // The server lives and dies on the thread; mg_stop waits for its
    // connections to end.
    auto server = std::make_shared<mg_context*>(nullptr);
    auto stop = [server] {
        if (*server)
            mg_stop(*server);
        *server = nullptr;
    };
    connect(&thread, &QThread::finished, worker, [stop, w = worker] {
        stop();
        delete w;
    });
    auto self = this;
    moveRequest = [self, server, stop, families](std::optional<TListenAddress> address) {
        stop();
        if (!address) {
            emit self->Listening(QString());
            return;
        }
        const QString text = address->Text();
        mg_callbacks callbacks{};
        callbacks.begin_request = beginRequest;
        callbacks.log_message = quietLog;
        std::vector<std::string> options = Options(*address);
        std::vector<const char*> argv;
        for (const std::string& o : options)
            argv.push_back(o.c_str());
        argv.push_back(nullptr);
        static const unsigned initialised = mg_init_library(0);
        (void)initialised;
        // The families outlive the server: this lambda holds them.
        *server = mg_start(&callbacks, const_cast<TMetricsFamilies*>(families.get()), argv.data());
        if (!*server) {
            QString why = bindProblem(*address);
            if (why.isEmpty())
                why = QStringLiteral("the listener did not start");
            emit self->Failed(text, why);
            return;
        }
        emit self->Listening(text);
    };
    thread.start();
}

TMetricsListener::~TMetricsListener() {
    thread.quit();
    thread.wait();
}

void TMetricsListener::Move(const std::optional<TListenAddress>& address) {
    QMetaObject::invokeMethod(
        worker, [f = moveRequest, address] { f(address); }, Qt::QueuedConnection);
}
