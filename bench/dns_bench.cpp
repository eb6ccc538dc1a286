// Figures for the DNS codec: decoding a typical mail-exchanger response with
// its additional addresses into records and their texts (what the resolver
// does for every delivery the SMTP client makes), and building a query.
#include "DNSMessageBuilder.h"
#include "dns/DNSCodec.h"
#include "dns/DNSRecordText.h"

#include <benchmark/benchmark.h>

namespace {

using B = TDNSMessageBuilder;

// Five exchanges, two name servers and the five exchanges' addresses, names
// compressed against the question as a server would send them.
QByteArray MailExchangeResponse() {
    TDNSMessageBuilder b;
    b.Header(0x81, 0x80, 5, 2, 5).Question("mail-velmora.test", 15);
    const QByteArray domain = B::Pointer(12);
    QList<int> exchanges;
    for (int i = 1; i <= 5; ++i) {
        b.Record(domain, 15, 1, 3600,
                 B::Be16(10 * i) + B::Labels(QString("mail-exchanger-%1").arg(i)) + domain);
        exchanges << b.Offset() - 2 - 17; // the exchange's own label
    }
    for (int i = 1; i <= 2; ++i)
        b.Record(domain, 2, 1, 86400, B::Labels(QString("ns%1").arg(i)) + domain);
    for (int i = 0; i < 5; ++i)
        b.Record(B::Pointer(exchanges[i]), 1, 1, 3600,
                 QByteArray("\x7f\x00\x00", 3) + char(25 + i));
    return b.Bytes();
}

// Decoding and the texts together, as one resolve does.
void BM_DecodeMailExchangeResponse(benchmark::State& state) {
    const QByteArray message = MailExchangeResponse();
    const std::optional<TDNSResponse> check = DecodeDNSResponse(message);
    if (!check || DNSSectionText(check->Additional).Values.size() != 5 ||
        DNSSectionText(check->Answer).Values.size() != 5) {
        state.SkipWithError("the benchmark message does not decode as intended");
        return;
    }
    for (auto _ : state) {
        std::optional<TDNSResponse> r = DecodeDNSResponse(message);
        for (const QList<TDNSRecord>* section : {&r->Answer, &r->Authority, &r->Additional}) {
            TDNSSection text = DNSSectionText(*section);
            benchmark::DoNotOptimize(text);
        }
    }
    state.counters["message_bytes"] = double(message.size());
    state.SetBytesProcessed(int64_t(state.iterations()) * message.size());
}
BENCHMARK(BM_DecodeMailExchangeResponse);

void BM_BuildQuery(benchmark::State& state) {
    const QString name = QStringLiteral("mail-velmora.test");
    for (auto _ : state) {
        std::optional<QByteArray> q = BuildDNSQuery(name, 15, true);
        benchmark::DoNotOptimize(q);
    }
}
BENCHMARK(BM_BuildQuery);

void BM_BuildPointerQuery(benchmark::State& state) {
    const QString address = QStringLiteral("10.1.2.3");
    for (auto _ : state) {
        std::optional<QByteArray> q = BuildDNSQuery(address, 12, true);
        benchmark::DoNotOptimize(q);
    }
}
BENCHMARK(BM_BuildPointerQuery);

} // namespace

BENCHMARK_MAIN();
