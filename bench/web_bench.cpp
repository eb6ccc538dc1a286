// A publication run's page writing for a large installation: the three
// pages for 100,000 devices and 10,000 log lines, written to disk.
#include "devices/DeviceGrid.h"
#include "platform/LogModel.h"
#include "web/Publisher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void BM_WritePages100kDevices10kLogLines(benchmark::State& state) {
    QTemporaryDir dir;
    TDeviceGrid grid;
    grid.SetGridHeader();
    std::vector<TGridRow> rows(100000);
    for (size_t i = 0; i < rows.size(); ++i) {
        auto& c = rows[i].cells;
        c[0] = QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255);
        c[1] = QStringLiteral("Site %1 - Caf\u00e9 <rack> & row").arg(i);
        c[2] = QStringLiteral("Yes");
        c[3] = i % 7 ? QStringLiteral("Up") : QStringLiteral("DOWN");
        c[4] = QStringLiteral("Thu Dec 10, 2026 19:00:00");
        c[6] = QStringLiteral("400");
        c[7] = QStringLiteral("398");
        c[8] = QStringLiteral("99");
        c[9] = QStringLiteral("1");
        c[10] = QStringLiteral("12");
        c[11] = QStringLiteral("250");
    }
    grid.AppendRows(std::move(rows));
    QStringList log;
    for (int i = 0; i < 10000; ++i)
        log << QStringLiteral("DOWN\t10.0.%1.%2\tThu Dec 10, 2026 19:00:00\tSite %3")
                   .arg(i >> 8)
                   .arg(i & 255)
                   .arg(i);
    TPublisher publisher({[&]() -> const TDeviceGrid& { return grid; },
                          [&] { return log; },
                          [] { return 0xFF0000u; },
                          [] { return 0x0000FFu; },
                          [] { return QStringLiteral("Thu Dec 10, 2026 19:00:00"); },
                          [&] { return dir.filePath("velmora"); },
                          {}});
    bool ended = false;
    QObject::connect(&publisher, &TPublisher::RunEnded, [&] { ended = true; });
    for (auto _ : state) {
        ended = false;
        // The pages are written before the call returns; the end of the run
        // (no FTP, no copy) is only reported from the event loop.
        publisher.ButtonWebPageTransferFileClick();
        state.PauseTiming();
        while (!ended)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.ResumeTiming();
    }
    state.counters["grid_page_MB"] =
        double(QFileInfo(dir.filePath("velmora.htm")).size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_WritePages100kDevices10kLogLines)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
