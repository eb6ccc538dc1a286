#include "DnsmasqServer.h"

namespace {
QString Program() {
    return TPeerProcess::Find("dnsmasq", {"/usr/sbin", "/sbin"});
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
    // It reports on stderr once its socket is bound.
    error = process.Start("dnsmasq", program, args, "started, version", 5000);
}

TDnsmasqServer::~TDnsmasqServer() = default;
