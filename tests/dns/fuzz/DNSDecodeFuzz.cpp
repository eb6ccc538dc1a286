// libFuzzer target: any datagram up to the receive area's size must decode
// (or be refused) without reading outside it; every decoded record must turn
// into text the callers can rely on; and the records must hold all there is
// to show, so that writing them out again and decoding that gives them back.
#include "dns/DNSCodec.h"
#include "dns/DNSRecordText.h"

#include <cstdint>
#include <cstdlib>
#include <variant>

namespace {

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            std::abort();                                                                          \
    } while (0)

bool BreaksALine(const QString& text) {
    for (const QChar c : text)
        if (c == u'\n' || c == u'\r' || c == u'\u0085' || c == u'\u2028' || c == u'\u2029')
            return true;
    return false;
}

// The data alternative a record of this type and data must have.
bool DataFitsType(const TDNSRecord& rr) {
    switch (rr.Type) {
    case DNS::TypeA:
        return std::holds_alternative<TDNSAddressData>(rr.Data) ||
               (std::holds_alternative<TDNSOpaqueData>(rr.Data) &&
                std::get<TDNSOpaqueData>(rr.Data).Data.size() != 4);
    case DNS::TypeNS:
        return std::holds_alternative<TDNSNameServerData>(rr.Data);
    case DNS::TypeCNAME:
        return std::holds_alternative<TDNSCanonicalNameData>(rr.Data);
    case DNS::TypeSOA:
        return std::holds_alternative<TDNSAuthorityData>(rr.Data) &&
               !std::get<TDNSAuthorityData>(rr.Data).Names.isEmpty();
    case DNS::TypePTR:
        return std::holds_alternative<TDNSPointerData>(rr.Data);
    case DNS::TypeMX:
        return std::holds_alternative<TDNSMailExchangeData>(rr.Data);
    case DNS::TypeTXT:
        return std::holds_alternative<TDNSTextData>(rr.Data);
    default:
        return std::holds_alternative<TDNSOpaqueData>(rr.Data);
    }
}

// How many lines and values the page shows for a record.
std::pair<qsizetype, qsizetype> TextShape(const TDNSRecord& rr) {
    switch (rr.Data.index()) {
    case 0: // opaque
        return {0, 0};
    case 4: { // SOA: server and mailbox lines, three lines per further name, six after them
        const qsizetype names = std::get<TDNSAuthorityData>(rr.Data).Names.size();
        const qsizetype shown = qMin<qsizetype>(names, 2);
        return {shown + 3 * (names - shown) + 6, shown};
    }
    case 5: // PTR
    case 7: // TXT
        return {2, 1};
    case 6: // MX
        return {3, 1};
    default: // A, NS, CNAME
        return {1, 1};
    }
}

QByteArray Be16(quint32 v) {
    return QByteArray(1, char(v >> 8)) + char(v & 0xff);
}

QByteArray Be32(quint32 v) {
    return Be16(v >> 16) + Be16(v & 0xffff);
}

// Uncompressed, with its zero byte.
QByteArray WireName(const TDNSName& name) {
    QByteArray out;
    for (const QByteArray& label : name)
        out += char(label.size()) + label;
    return out + '\0';
}

struct TDataWriter {
    QByteArray operator()(const TDNSOpaqueData& d) const { return d.Data; }
    QByteArray operator()(const TDNSAddressData& d) const { return Be32(d.Address); }
    QByteArray operator()(const TDNSNameServerData& d) const { return WireName(d.Server); }
    QByteArray operator()(const TDNSCanonicalNameData& d) const { return WireName(d.Canonical); }
    QByteArray operator()(const TDNSAuthorityData& d) const {
        QByteArray out;
        for (const TDNSName& name : d.Names)
            out += WireName(name);
        return out + Be32(d.Serial) + Be32(d.Refresh) + Be32(d.Retry) + Be32(d.Expire) +
               Be32(d.Minimum);
    }
    QByteArray operator()(const TDNSPointerData& d) const { return WireName(d.Target); }
    QByteArray operator()(const TDNSMailExchangeData& d) const {
        return Be16(d.Preference) + WireName(d.Exchange);
    }
    QByteArray operator()(const TDNSTextData& d) const { return char(d.Text.size()) + d.Text; }
};

// The decoded response as a message of its own, every name written out in
// full; nothing when a record's data no longer fits its length field (names
// that pointers made long).
std::optional<QByteArray> Rewrite(const TDNSResponse& r) {
    QByteArray out = Be16(0x0202);
    out += char(0x80 | (r.Authoritative ? 0x04 : 0));
    out += char(r.ResponseCode);
    out += Be16(1) + Be16(quint32(r.Answer.size())) + Be16(quint32(r.Authority.size())) +
           Be16(quint32(r.Additional.size()));
    out += QByteArray("\0\0\1\0\1", 5); // the root, type A, class IN
    for (const QList<TDNSRecord>* section : {&r.Answer, &r.Authority, &r.Additional}) {
        for (const TDNSRecord& rr : *section) {
            const QByteArray data = std::visit(TDataWriter{}, rr.Data);
            if (data.size() > 0xffff)
                return std::nullopt;
            out += WireName(rr.Owner) + Be16(rr.Type) + Be16(rr.Class) + Be32(rr.TTL) +
                   Be16(quint32(data.size())) + data;
        }
    }
    return out;
}

void CheckSection(const QList<TDNSRecord>& records) {
    TDNSSection each;
    for (const TDNSRecord& rr : records) {
        FUZZ_CHECK(DataFitsType(rr));
        const qsizetype lines = each.Lines.size(), values = each.Values.size();
        AppendDNSRecordText(rr, each);
        const auto [shapeLines, shapeValues] = TextShape(rr);
        FUZZ_CHECK(each.Lines.size() - lines == shapeLines);
        FUZZ_CHECK(each.Values.size() - values == shapeValues);
    }
    // The section's text, as the resolver hands it to the page and the mail
    // lookup, is its records' texts in order.
    const TDNSSection section = DNSSectionText(records);
    FUZZ_CHECK(section.Lines == each.Lines && section.Values == each.Values);
    for (const QStringList* texts : {&section.Lines, &section.Values})
        for (const QString& text : *texts)
            FUZZ_CHECK(!BreaksALine(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > size_t(DNS::kResponseArea))
        return 0;
    // A copy of exactly `size` bytes, so that AddressSanitizer sees any read
    // past the end of the message.
    const QByteArray message(reinterpret_cast<const char*>(data), int(size));
    const std::optional<TDNSResponse> r = DecodeDNSResponse(message);
    if (r) {
        for (const QList<TDNSRecord>* section : {&r->Answer, &r->Authority, &r->Additional})
            CheckSection(*section);
        if (const std::optional<QByteArray> again = Rewrite(*r)) {
            const std::optional<TDNSResponse> back = DecodeDNSResponse(*again);
            FUZZ_CHECK(back && back->Complete);
            FUZZ_CHECK(back->Authoritative == r->Authoritative &&
                       back->ResponseCode == r->ResponseCode);
            FUZZ_CHECK(back->Answer == r->Answer && back->Authority == r->Authority &&
                       back->Additional == r->Additional);
        }
    }
    // The query builder takes any text as well.
    const QString text = QString::fromLatin1(message.left(300));
    if (const std::optional<QByteArray> q = BuildDNSQuery(text, int(size & 0xff), size & 1))
        FUZZ_CHECK(q->size() <= DNS::kQueryArea);
    return 0;
}
