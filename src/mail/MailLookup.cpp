#include "MailLookup.h"

#include "dns/DNSCodec.h"
#include "dns/DNSResolver.h"
#include "mail/SMTPMessage.h"

namespace {
// The host-name lookup of the static server waits no longer than a query.
constexpr int kHostLookupSecs = 5;
} // namespace

TMailLookupThread* TMailLookupThread::ForHost(const QString& host) {
    auto* t = new TMailLookupThread;
    t->host = host;
    connect(t, &QThread::finished, t, &QObject::deleteLater);
    return t;
}

TMailLookupThread* TMailLookupThread::ForExchangers(const QString& dnsServer, quint16 dnsPort,
                                                    const QString& domain) {
    auto* t = new TMailLookupThread;
    t->exchangers = true;
    t->dnsServer = dnsServer;
    t->dnsPort = dnsPort;
    t->domain = domain;
    connect(t, &QThread::finished, t, &QObject::deleteLater);
    return t;
}

void TMailLookupThread::run() {
    if (!exchangers) {
        const QString dotted = DNSServerAddress(host, kHostLookupSecs);
        emit Found(!dotted.isEmpty(), dotted.isEmpty() ? QStringList() : QStringList{dotted});
        return;
    }
    TDNSResolver resolver(dnsPort);
    resolver.Server = dnsServer;
    resolver.Query = domain;
    resolver.QueryType = DNS::TypeMX;
    if (!resolver.Resolve()) {
        emit Found(false, {});
        return;
    }
    emit Found(true, MXCandidates(resolver.AnswerValues, resolver.AuthorityValues,
                                  resolver.AdditionalValues));
}
