#pragma once

#include "PeerProcess.h"

#include <QString>
#include <QStringList>

// A real DNS server for tests: dnsmasq with no configuration file, no hosts
// file and no upstream servers, answering only the records it is given, on
// one loopback address and port.
class TDnsmasqServer {
public:
    TDnsmasqServer(const QString& address, quint16 port, const QStringList& records);
    ~TDnsmasqServer();

    // Empty when the server is running; otherwise why not.
    QString Error() const { return error; }
    static bool Available();

private:
    TPeerProcess process;
    QString error;
};
