#include "MetricsProbe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QtEndian>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Waits for `events` on fd until the deadline; false on time-out.
bool waitFor(int fd, short events, const QElapsedTimer& t, int timeoutMs) {
    const int left = int(timeoutMs - t.elapsed());
    if (left <= 0)
        return false;
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, left) > 0;
}

} // namespace

THttpReply HttpGet(const char* host, quint16 port, const QByteArray& path, int timeoutMs,
                   const QByteArray& extraHead) {
    THttpReply r;
    QElapsedTimer t;
    t.start();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return r;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    ::inet_pton(AF_INET, host, &sa.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return r;
    }
    if (!waitFor(fd, POLLOUT, t, timeoutMs)) {
        ::close(fd);
        return r;
    }
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
    if (error != 0) {
        ::close(fd);
        return r;
    }
    const QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n" + extraHead +
                               "Connection: close\r\n\r\n";
    qsizetype sent = 0;
    while (sent < request.size()) {
        if (!waitFor(fd, POLLOUT, t, timeoutMs))
            break;
        const ssize_t n =
            ::send(fd, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break; // the peer may refuse before reading it all; read its answer
        sent += n;
    }
    QByteArray in;
    char buf[65536];
    while (waitFor(fd, POLLIN, t, timeoutMs)) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        in.append(buf, n);
    }
    ::close(fd);
    r.ms = t.elapsed();
    const qsizetype end = in.indexOf("\r\n\r\n");
    if (!in.startsWith("HTTP/1.") || in.size() < 12)
        return r;
    r.answered = true;
    r.status = in.mid(9, 3).toInt();
    r.head = end < 0 ? in : in.left(end);
    r.body = end < 0 ? QByteArray() : in.mid(end + 4);
    return r;
}

std::optional<double> Sample(const QByteArray& text, const QByteArray& series) {
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(series) && line.size() > series.size() && line[series.size()] == ' ') {
            bool ok = false;
            const double v = line.mid(series.size() + 1).trimmed().toDouble(&ok);
            if (ok)
                return v;
        }
    return std::nullopt;
}

QByteArray DeviceSeries(const char* name, const QByteArray& address, const QByteArray& location,
                        const QByteArray& more) {
    return QByteArray(name) + "{address=\"" + address + "\",location=\"" + location + "\"" +
           (more.isEmpty() ? QByteArray() : "," + more) + "}";
}

quint16 FreePort() {
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return 0;
    return s.serverPort();
}

namespace {

QString hexAddress(const QByteArray& hex) {
    // /proc/net/tcp keeps addresses as the kernel's words, in host order.
    const QByteArray raw = QByteArray::fromHex(hex);
    if (raw.size() == 4) {
        const char b[4] = {raw[3], raw[2], raw[1], raw[0]};
        return QHostAddress(quint32(qFromBigEndian<quint32>(b))).toString();
    }
    QByteArray v6;
    for (int w = 0; w < 4; ++w)
        for (int i = 3; i >= 0; --i)
            v6.append(raw[w * 4 + i]);
    Q_IPV6ADDR a;
    std::memcpy(a.c, v6.constData(), 16);
    return QLatin1Char('[') + QHostAddress(a).toString() + QLatin1Char(']');
}

} // namespace

QStringList ListeningAddresses(qint64 pid) {
    QSet<QByteArray> inodes;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(fds + QLatin1Char('/') + fd);
        if (target.contains(QLatin1String("socket:[")))
            inodes.insert(target.section(QLatin1Char('['), 1).chopped(1).toLatin1());
    }
    QStringList out;
    for (const char* table : {"tcp", "tcp6"}) {
        QFile f(QStringLiteral("/proc/%1/net/%2").arg(pid).arg(QLatin1String(table)));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        f.readLine(); // the column names
        while (!f.atEnd()) {
            const QList<QByteArray> cols = f.readLine().simplified().split(' ');
            // sl local rem st tx:rx tr:tm retrnsmt uid timeout inode
            if (cols.size() < 10 || cols[3] != "0A" || !inodes.contains(cols[9]))
                continue;
            const QList<QByteArray> local = cols[1].split(':');
            out << hexAddress(local[0]) + QLatin1Char(':') +
                       QString::number(local[1].toUInt(nullptr, 16));
        }
    }
    return out;
}

qint64 ResidentKb(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void ExpectPromtoolAccepts(const QByteArray& text) {
    QProcess promtool;
    promtool.setProcessChannelMode(QProcess::MergedChannels);
    promtool.start("promtool", {"check", "metrics"});
    ASSERT_TRUE(promtool.waitForStarted(5000)) << "promtool is not installed";
    promtool.write(text);
    promtool.closeWriteChannel();
    ASSERT_TRUE(promtool.waitForFinished(10000));
    EXPECT_EQ(promtool.exitCode(), 0);
    EXPECT_EQ(promtool.readAll().toStdString(), "");
}
