// Sustained insert rate of the history store: rows queued as the cycle
// queues them, committed by the writer thread; a batch ends with a flush so
// the figure is committed rows, not queued ones. The file size per row
// follows from the counters.
#include "history/HistoryStore.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

static void BM_HistoryInsert(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(THistoryStore::FileName());
    THistoryStore store;
    if (!store.Open(path)) {
        state.SkipWithError("cannot open the store");
        return;
    }
    const int batch = int(state.range(0));
    qint64 t = 1796000000000LL, rows = 0;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i) {
            store.RecordEcho({t += 36,
                              QStringLiteral("10.%1.%2.%3")
                                  .arg((i >> 16) & 255)
                                  .arg((i >> 8) & 255)
                                  .arg(i & 255),
                              QStringLiteral("Rack %1").arg(i % 40), i % 50 != 0, 5 + i % 30});
        }
        store.Flush();
        rows += batch;
    }
    state.SetItemsProcessed(rows);
    store.Close();
    state.counters["bytes_per_row"] = double(QFileInfo(path).size()) / double(rows);
}
BENCHMARK(BM_HistoryInsert)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
