// Figures for the metrics: one exposition of 10,000 devices (what a scrape
// costs the listener's thread, and its size), and the resident memory of
// velmora-headless watching 10,000 devices with and without the listener.
#include "HeadlessResident.h"
#include "metrics/MetricsFamilies.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <string>

namespace {

constexpr int kDevices = 10000;

// 10,000 devices as a long run leaves them: every series present.
std::shared_ptr<TMetricsFamilies> tenThousand() {
    auto f = std::make_shared<TMetricsFamilies>("0.1");
    auto table = std::make_shared<TSeriesTable>();
    for (int i = 0; i < kDevices; ++i) {
        auto s = std::make_shared<TDeviceSeries>(
            "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
                std::to_string(i % 256),
            "Building " + std::to_string(i / 40) + ", rack " + std::to_string(i % 40));
        for (int e = 0; e < 50; ++e)
            s->RecordEcho(e % 10 != 0, std::uint32_t(e * 7 % 300));
        s->RecordChange(true, 1765400000000);
        s->RecordChange(i % 3 != 0, 1765400300000);
        table->push_back(std::move(s));
    }
    f->Publish(std::move(table));
    f->deviceCount = kDevices;
    return f;
}

void BM_Exposition10kDevices(benchmark::State& state) {
    const auto families = tenThousand();
    size_t bytes = 0;
    // As the listener writes it: in pieces, each handed to the socket.
    for (auto _ : state) {
        bytes = 0;
        families->WriteText([&](std::string_view piece) {
            bytes += piece.size();
            benchmark::DoNotOptimize(piece.data());
        });
    }
    state.counters["bytes"] = double(bytes);
    state.counters["MB"] = double(bytes) / (1024.0 * 1024.0);
}
BENCHMARK(BM_Exposition10kDevices)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

quint16 freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// One scrape, read to the end, so that the listener's buffers are counted.
qint64 scrape(quint16 port) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(5000))
        return -1;
    s.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    qint64 got = 0;
    while (s.waitForReadyRead(10000))
        got += s.readAll().size();
    return got;
}

// velmora-headless with 10,000 loopback devices after 10 s of monitoring;
// with the listener, after three scrapes.
void headlessResident(benchmark::State& state, bool listener) {
    QTemporaryDir dir;
    QByteArray dat;
    for (int i = 0; i < kDevices; ++i)
        dat += "127." + QByteArray::number(i / 65536) + "." + QByteArray::number(i / 250 % 250) +
               "." + QByteArray::number(i % 250 + 1) + "\tloopback device " +
               QByteArray::number(i) + "\r\n";
    const quint16 port = freePort();
    PrepareHeadlessFolder(
        dir, dat, listener ? "MetricsListen=" + QByteArray::number(port) + "\r\n" : QByteArray());
    for (auto _ : state)
        state.counters["rss_MB"] = HeadlessResidentMB(dir, [&] {
            if (!listener)
                return;
            qint64 bytes = 0;
            for (int i = 0; i < 3; ++i)
                bytes = scrape(port);
            state.counters["scrape_MB"] = double(bytes) / (1024.0 * 1024.0);
        });
}

void BM_HeadlessResident10kDevices(benchmark::State& state) {
    headlessResident(state, false);
}
BENCHMARK(BM_HeadlessResident10kDevices)->Iterations(1)->Unit(benchmark::kSecond);

void BM_HeadlessResident10kDevicesWithListener(benchmark::State& state) {
    headlessResident(state, true);
}
BENCHMARK(BM_HeadlessResident10kDevicesWithListener)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
