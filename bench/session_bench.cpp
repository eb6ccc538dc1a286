// Figures for the session: start-up's settings reads against a 10 MB
// settings file, Save State on Exit of a large grid and log, and the
// resident memory of the headless program watching 1,000 devices.
#include "HeadlessResident.h"
#include "devices/DeviceGrid.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "platform/Prompts.h"
#include "session/Session.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

// A settings file as a long-running installation has it: every setting,
// and 10 MB in sections that start-up does not read (an old saved log).
QString bigSettingsFile() {
    const QString path = scratch().filePath("big.ini");
    if (QFile::exists(path))
        return path;
    QByteArray b = "[VELMORA Settings]\r\nVelmoraPingTimeOut=2\r\nVelmoraPacketsPerSite=2\r\n"
                   "VelmoraInterPacketDelay=1000\r\nVelmoraInterSiteDelay=3\r\n"
                   "saveStateOnExit=0\r\nYourEMAILAddress=me@velmora.test\r\nSitesCritical=1\r\n"
                   "Width=1200\r\nHeight=800\r\n"
                   "[Notify Addresses]\r\nAddress-0=ops@velmora.test\r\n"
                   "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n[DNS Query List]\r\nDNSQ-0=localhost\r\n"
                   "[Archive]\r\n";
    for (int i = 0; b.size() < 10 * 1024 * 1024; ++i)
        b += "row-" + QByteArray::number(i) +
             "=DOWN\t10.0.0.1\tWed Mar 12, 2003 10:22:11\tSome location with a long name\r\n";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(b);
    return path;
}

void BM_StartupReads10MBSettings(benchmark::State& state) {
    const QString path = bigSettingsFile();
    TDefaultPrompts prompts;
    for (auto _ : state) {
        state.PauseTiming();
        TSession::Options o;
        o.settingsPath = path;
        o.prompts = &prompts;
        auto session = std::make_unique<TSession>(o);
        state.ResumeTiming();
        session->Start();
        benchmark::DoNotOptimize(session->Monitor());
        state.PauseTiming();
        state.counters["file_loads"] = double(session->Settings().Loads());
        session.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupReads10MBSettings)->Unit(benchmark::kMillisecond);

void BM_SaveStateOnExit10k(benchmark::State& state) {
    TDefaultPrompts prompts;
    for (auto _ : state) {
        state.PauseTiming();
        const QString path = scratch().filePath("state.ini");
        QFile::remove(path);
        TSession::Options o;
        o.settingsPath = path;
        o.prompts = &prompts;
        auto session = std::make_unique<TSession>(o);
        TMonitorSettings m;
        m.saveStateOnExit = true;
        session->SetMonitorSettings(m);
        std::vector<TGridRow> rows(10000);
        for (int i = 0; i < 10000; ++i) {
            auto& c = rows[size_t(i)].cells;
            c[Col::Address] = QStringLiteral("10.1.%1.%2").arg(i / 256).arg(i % 256);
            c[Col::Location] = QStringLiteral("Site %1").arg(i);
            c[Col::Status] = QStringLiteral("Up");
            c[Col::PktsSent] = QString::number(i);
        }
        session->Grid().SetGridHeader();
        session->Grid().AppendRows(std::move(rows));
        for (int i = 0; i < 10000; ++i)
            session->MonitorLog().Append(
                QStringLiteral("DOWN\t10.1.0.%1\tWed Mar 12, 2003 10:22:11\tSite %2")
                    .arg(i % 256)
                    .arg(i));
        state.ResumeTiming();
        benchmark::DoNotOptimize(session->RequestClose());
        state.PauseTiming();
        state.counters["replacements"] = double(session->Settings().Replacements());
        session.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveStateOnExit10k)->Unit(benchmark::kMillisecond);

// The headless program with 1,000 loopback devices, after ten seconds of
// monitoring.
void BM_HeadlessResidentMemory1000Devices(benchmark::State& state) {
    QTemporaryDir dir;
    QByteArray dat;
    for (int i = 0; i < 1000; ++i)
        dat += "127.0." + QByteArray::number(i / 250) + "." + QByteArray::number(i % 250 + 1) +
               "\tloopback device " + QByteArray::number(i) + "\r\n";
    PrepareHeadlessFolder(dir, dat);
    for (auto _ : state)
        state.counters["rss_MB"] = HeadlessResidentMB(dir);
}
BENCHMARK(BM_HeadlessResidentMemory1000Devices)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
