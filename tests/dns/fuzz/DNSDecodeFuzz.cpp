// libFuzzer target: any datagram up to the receive area's size must decode
// (or be refused) without reading outside it, and what decodes must keep the
// invariants the callers rely on.
#include "dns/DNSCodec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > size_t(DNS::kResponseArea))
        return 0;
    // A copy of exactly `size` bytes, so that AddressSanitizer sees any read
    // past the end of the message.
    const QByteArray message(reinterpret_cast<const char*>(data), int(size));
    const std::optional<TDNSResponse> r = DecodeDNSResponse(message);
    if (!r)
        return 0;
    for (const TDNSSection* s : {&r->Answer, &r->Authority, &r->Additional}) {
        // A record never gives more values than lines, and no line or value
        // can hold a line break of its own: neither CR, LF nor the Unicode
        // separators a text pane breaks lines on.
        if (s->Values.size() > s->Lines.size())
            std::abort();
        for (const QStringList* texts : {&s->Lines, &s->Values})
            for (const QString& text : *texts)
                for (const QChar c : text)
                    if (c == u'\n' || c == u'\r' || c == u'\u0085' || c == u'\u2028' ||
                        c == u'\u2029')
                        std::abort();
    }
    // The query builder takes any text as well.
    const QString text = QString::fromLatin1(message.left(300));
    if (const std::optional<QByteArray> q = BuildDNSQuery(text, int(size & 0xff), size & 1))
        if (q->size() > DNS::kQueryArea)
            std::abort();
    return 0;
}
