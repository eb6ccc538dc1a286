// Figures for the platform layer and the device grid: loading a large data
// file, sorting a large grid, and the settings file under a big saved state.
#include "devices/DataFile.h"
#include "devices/DeviceGrid.h"
#include "platform/ClockTexts.h"
#include "platform/IniFile.h"
#include "platform/TextLines.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kDevices = 100000;
const QDateTime kNow(QDate(2006, 9, 5), QTime(19, 33, 31));

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

// Devices in random order, each with its statistics and a Since key of its own.
std::vector<TGridRow> randomRows() {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> pick(0, 999999);
    std::vector<TGridRow> rows(kDevices);
    for (int i = 0; i < kDevices; ++i) {
        auto& c = rows[size_t(i)].cells;
        const int r = pick(rng);
        c[Col::Address] =
            QStringLiteral("10.%1.%2.%3").arg(r % 250).arg(i / 256 % 256).arg(i % 256);
        c[Col::Location] = QStringLiteral("Site %1 rack %2").arg(r).arg(i % 40);
        c[Col::Critical] = r % 3 ? QStringLiteral("No") : QStringLiteral("Yes");
        c[Col::PktsSent] = QString::number(r % 5000);
        c[Col::SinceKey] = SinceKey(kNow.addSecs(-r * 37));
        c[Col::Since] = ClockText(kNow.addSecs(-r * 37));
    }
    return rows;
}

// Written line by line, so that making the 1,000,000-line file does not
// itself raise the process's peak memory.
QString dataFile(int devices) {
    static std::map<int, QString> paths;
    auto& path = paths[devices];
    if (!path.isEmpty())
        return path;
    path = scratch().filePath(QStringLiteral("devices-%1.dat").arg(devices));
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, 999999);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return path;
    f.write("; benchmark devices\r\n");
    for (int i = 0; i < devices; ++i)
        f.write(QStringLiteral("10.%1.%2.%3\tBuilding %4 floor %5\t%6\r\n")
                    .arg(i / 65536)
                    .arg(i / 256 % 256)
                    .arg(i % 256)
                    .arg(pick(rng))
                    .arg(i % 12)
                    .arg(i % 5 ? "No" : "yes")
                    .toUtf8());
    return path;
}

// Peak resident memory of one load, in MB, measured in a child process so
// that earlier benchmarks and the harness do not count.
double loadPeakMB(const QString& path) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        TDeviceGrid grid;
        LoadDataFile(grid, path, kNow);
        rusage use{};
        getrusage(RUSAGE_SELF, &use);
        const long kb = use.ru_maxrss;
        [[maybe_unused]] const ssize_t n = write(fds[1], &kb, sizeof kb);
        _exit(0);
    }
    close(fds[1]);
    long kb = -1;
    if (pid < 0 || read(fds[0], &kb, sizeof kb) != sizeof kb)
        kb = -1;
    close(fds[0]);
    if (pid > 0)
        waitpid(pid, nullptr, 0);
    return kb < 0 ? -1 : double(kb) / 1024.0;
}

// The default locale decides the text order: range(0) 0 is the bare C
// locale, 1 is US English, whose collation costs more.
void useLocale(benchmark::State& state, int which) {
    QLocale::setDefault(which ? QLocale(QLocale::English, QLocale::UnitedStates) : QLocale::c());
    state.SetLabel(which ? "en_US" : "C");
}

// range(0): the locale, range(1): the number of devices in the file.
void BM_LoadDataFile(benchmark::State& state) {
    useLocale(state, int(state.range(0)));
    const int devices = int(state.range(1));
    const QString path = dataFile(devices);
    {
        TDeviceGrid grid;
        for (auto _ : state) {
            if (!LoadDataFile(grid, path, kNow))
                state.SkipWithError("load failed");
            benchmark::DoNotOptimize(grid.DeviceCount());
        }
        if (grid.DeviceCount() != devices)
            state.SkipWithError("wrong row count");
    }
    state.counters["peak_rss_MB"] = loadPeakMB(path);
}
BENCHMARK(BM_LoadDataFile)
    ->ArgNames({"locale", "devices"})
    ->Args({0, kDevices})
    ->Args({1, kDevices})
    ->Args({0, 1000000})
    ->Args({1, 1000000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// range(0): the column clicked. Each iteration sorts a fresh copy of the
// random grid, ascending, then the sorted grid descending.
// range(0): the column clicked, range(1): the direction, range(2): the
// locale. Each iteration sorts a fresh copy of the grid in random order.
void BM_SortGrid100k(benchmark::State& state) {
    const int column = int(state.range(0));
    const int direction = int(state.range(1));
    useLocale(state, int(state.range(2)));
    static const std::vector<TGridRow> rows = randomRows();
    TDeviceGrid grid;
    for (auto _ : state) {
        state.PauseTiming();
        grid.SetGridHeader();
        grid.AppendRows(rows);
        state.ResumeTiming();
        grid.SortGridRows(column, 1, kDevices, direction);
    }
}
BENCHMARK(BM_SortGrid100k)
    ->ArgNames({"column", "direction", "locale"})
    ->Args({Col::Location, 1, 0}) // text
    ->Args({Col::Location, 2, 0})
    ->Args({Col::Location, 1, 1})
    ->Args({Col::PktsSent, 1, 0}) // integer
    ->Args({Col::PktsSent, 2, 0})
    ->Args({Col::Since, 1, 0}) // Since key
    ->Args({Col::Since, 2, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The grid right after a load is in location order already.
void BM_SortGridInOrder100k(benchmark::State& state) {
    useLocale(state, 0);
    TDeviceGrid grid;
    grid.AppendRows(randomRows());
    grid.SortGridRows(Col::Location, 1, kDevices, 1);
    for (auto _ : state)
        grid.SortGridRows(Col::Location, 1, kDevices, 1);
}
BENCHMARK(BM_SortGridInOrder100k)->Unit(benchmark::kMillisecond)->UseRealTime();

TIniFile::Entries savedState(int keys) {
    TIniFile::Entries entries;
    for (int i = 0; i < keys; ++i)
        entries.append({QStringLiteral("row-%1").arg(i),
                        QStringLiteral("10.0.%1.%2\tSite %3\tNo\tUp\tTue Sep 05, 2006 19:33:31\t"
                                       "2006-09-05 19:33:31\t120\t118\t98\t1\t3\t12\t354")
                            .arg(i / 256)
                            .arg(i % 256)
                            .arg(i)});
    return entries;
}

// A settings file that already holds the usual sections.
QString settingsFile(const QString& name) {
    const QString path = scratch().filePath(name);
    QFile::remove(path);
    TIniFile ini(path);
    ini.ReplaceSection("VELMORA Settings",
                       {{"DATFile", "/home/op/devices.dat"}, {"VelmoraPingTimeOut", "2"}});
    ini.ReplaceSection("Web Page Settings", {{"EditWebPageFTPPort", "21"}});
    return path;
}

void BM_IniReplaceSection10k(benchmark::State& state) {
    TIniFile ini(settingsFile("replace.ini"));
    const TIniFile::Entries entries = savedState(10000);
    for (auto _ : state)
        ini.ReplaceSection("SaveOnExit_Grid", entries);
}
BENCHMARK(BM_IniReplaceSection10k)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IniReadSection10k(benchmark::State& state) {
    TIniFile ini(settingsFile("read.ini"));
    ini.ReplaceSection("SaveOnExit_Grid", savedState(10000));
    for (auto _ : state) {
        const TIniFile::Entries back = ini.ReadSection("SaveOnExit_Grid");
        if (back.size() != 10000)
            state.SkipWithError("wrong entry count");
        benchmark::DoNotOptimize(back.size());
    }
}
BENCHMARK(BM_IniReadSection10k)->Unit(benchmark::kMillisecond)->UseRealTime();

// One key into a settings file of about 1 MB, mostly saved state; the key's
// section comes last, so the whole file is searched.
void BM_IniWriteKey1MB(benchmark::State& state) {
    TIniFile ini(settingsFile("big.ini"));
    ini.ReplaceSection("SaveOnExit_Grid", savedState(11000));
    ini.WriteInteger("Last Section", "Width", 1);
    if (QFile(ini.FileName()).size() < 1000000)
        state.SkipWithError("settings file smaller than 1 MB");
    int width = 800;
    for (auto _ : state)
        ini.WriteInteger("Last Section", "Width", width++);
    state.counters["bytes"] = double(QFile(ini.FileName()).size());
}
BENCHMARK(BM_IniWriteKey1MB)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
