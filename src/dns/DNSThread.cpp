#include "dns/DNSThread.h"

#include "dns/DNSCodec.h"

#include <array>
#include <utility>

namespace {

struct TTypeOfSearch {
    const char* item;
    int queryType;
};

constexpr std::array<TTypeOfSearch, 8> kTypesOfSearch{{
    {"Address - Address", DNS::TypeA},
    {"CNAME - Canonical Name", DNS::TypeCNAME},
    {"MX Records - Mail Exchange", DNS::TypeMX},
    {"NS - Name Server", DNS::TypeNS},
    {"PTR - Domain Pointer", DNS::TypePTR},
    {"SOA - Start of Authority", DNS::TypeSOA},
    {"Text - Text Strings", DNS::TypeTXT},
    {"Any - Any Type", DNS::TypeAny},
}};

void AppendSection(QStringList& out, const char* heading, const QStringList& lines) {
    if (lines.isEmpty())
        return;
    out << QString::fromLatin1(heading) << QString();
    out += lines;
    out << QString();
}

} // namespace

QStringList DNSResultLines(const TDNSResolver& resolver) {
    QStringList out;
    AppendSection(out, ":Answer Records", resolver.AnswerLines);
    AppendSection(out, ":Authority Records", resolver.AuthorityLines);
    AppendSection(out, ":Additional Records", resolver.AdditionalLines);
    out << QString()
        << (resolver.Authoritative ? QStringLiteral("Authoritative")
                                   : QStringLiteral("Non-Authoritative")) +
               QStringLiteral(" response from DNS Server: ") + resolver.ResponseFromText();
    return out;
}

int DNSQueryTypeOfSearch(const QString& item) {
    for (const TTypeOfSearch& t : kTypesOfSearch)
        if (item == QLatin1String(t.item))
            return t.queryType;
    return DNS::TypeAny;
}

QStringList DNSTypeOfSearchItems() {
    QStringList items;
    for (const TTypeOfSearch& t : kTypesOfSearch)
        items << QString::fromLatin1(t.item);
    return items;
}

TDNSThread::TDNSThread(TDNSQueryParams p, QObject* parent) : QThread(parent), params(std::move(p)) {
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TDNSThread::run() {
    TDNSResolver resolver(params.Port);
    resolver.Server = params.Server;
    resolver.Query = params.Query;
    resolver.Recursive = params.Recursive;
    resolver.TimeOut = params.TimeOut;
    resolver.QueryType = params.QueryType;
    if (terminateRequested) {
        emit Finished(false, {});
        return;
    }
    const bool resolved = resolver.Resolve();
    emit Finished(resolved, resolved ? DNSResultLines(resolver) : QStringList());
}
