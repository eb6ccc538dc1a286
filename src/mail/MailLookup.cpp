#include "MailLookup.h"

#include "dns/DNSCodec.h"
#include "dns/DNSResolver.h"
#include "mail/SMTPMessage.h"

TMailLookupThread* TMailLookupThread::ForExchangers(const QString& dnsServer, quint16 dnsPort,
                                                    const QString& domain) {
    auto* t = new TMailLookupThread;
    t->dnsServer = dnsServer;
    t->dnsPort = dnsPort;
    t->domain = domain;
    connect(t, &QThread::finished, t, &QObject::deleteLater);
    return t;
}

void TMailLookupThread::run() {
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
