#include "DnsmasqServer.h"

#include <QElapsedTimer>
#include <QStandardPaths>

namespace {
QString Program() {
    QString p = QStandardPaths::findExecutable("dnsmasq");
    if (p.isEmpty())
        p = QStandardPaths::findExecutable("dnsmasq", {"/usr/sbin", "/sbin"});
    return p;
}
} // namespace

bool TDnsmasqServer::Available() {
    return !Program().isEmpty();
}

TDnsmasqServer::TDnsmasqServer(const QString& address, quint16 port, const QStringList& records) {
    const QString program = Program();
    if (program.isEmpty()) {
        error = "dnsmasq is not installed";
        return;
    }
    QStringList args{"--keep-in-foreground", "--log-facility=-", "--conf-file=/dev/null",
                     "--no-resolv", "--no-hosts", "--no-poll", "--pid-file=", "--bind-interfaces",
                     "--listen-address=" + address, "--port=" + QString::number(port),
                     // Nothing may ever be forwarded.
                     "--local=/test/", "--local=/in-addr.arpa/"};
    args += records;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForStarted(5000)) {
        error = "dnsmasq did not start: " + process.errorString();
        return;
    }
    // It reports on stderr once its socket is bound.
    QByteArray output;
    QElapsedTimer t;
    t.start();
    while (!output.contains("started, version") && t.elapsed() < 5000 &&
           process.state() == QProcess::Running) {
        process.waitForReadyRead(100);
        output += process.readAll();
    }
    if (!output.contains("started, version"))
        error = "dnsmasq did not come up: " + QString::fromLocal8Bit(output);
}

TDnsmasqServer::~TDnsmasqServer() {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
}
