#pragma once

#include <QString>
#include <QStringList>

// One DNS query over UDP: set the inputs, call Resolve once, read the
// results. Holds no state shared with any other resolver and touches no
// widget, so any thread may run it (the page's worker, the SMTP client).
class TDNSResolver {
public:
    explicit TDNSResolver(quint16 port = 53) : Port(port) {}

    // Inputs.
    QString Server; // dotted IPv4 address or host name
    quint16 Port;
    QString Query;
    bool Recursive = true;
    int QueryType = 1;
    int TimeOut = 5; // seconds; bounds the server name lookup too

    // Results, valid after a true Resolve.
    bool Authoritative = false;
    quint32 ResponseFrom = 0; // IPv4 address, network byte order
    QStringList AnswerLines, AuthorityLines, AdditionalLines;
    QStringList AnswerValues, AuthorityValues, AdditionalValues;

    // True when a response arrived within TimeOut and was decoded.
    bool Resolve();

    QString ResponseFromText() const;

private:
    void clearResults();
};

// The server text as a dotted address: taken as it is when inet_addr accepts
// it, otherwise the first IPv4 address a lookup gives. Empty when the lookup
// fails or does not finish within `timeoutSecs`.
QString DNSServerAddress(const QString& server, int timeoutSecs);
