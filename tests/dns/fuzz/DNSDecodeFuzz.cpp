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
        // A record never gives more values than lines, and no line can hold
        // a line break of its own.
        if (s->Values.size() > s->Lines.size())
            std::abort();
        for (const QString& line : s->Lines)
            if (line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r')))
                std::abort();
    }
    // The query builder takes any text as well.
    const QString text = QString::fromLatin1(message.left(300));
    if (const std::optional<QByteArray> q = BuildDNSQuery(text, int(size & 0xff), size & 1))
        if (q->size() > DNS::kQueryArea)
            std::abort();
    return 0;
}
