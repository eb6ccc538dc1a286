#pragma once

#include "icmp/PingWorkers.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

class TIniFile;
class TLogModel;
class TPinger;

// How many targets the recent list keeps.
inline constexpr int kPingHistoryLimit = 10;

// The page's controls as they read at one moment.
struct TPingInputs {
    QString target;
    QString timeOutText = QStringLiteral("5");
    int packets = 4;
    bool clearDisplay = true;
    bool traceRoute = false;
};

// The "Timeout (Seconds)" text as seconds: a number is kept within the
// box's range 1..60, anything else is the default 5.
int PingTimeOutSeconds(const QString& text);

// The recent list of the Ping page in the settings file.
QStringList ReadPingList(const TIniFile& ini);
// The section erased and rewritten in one write, so a shorter list leaves
// no stale keys behind.
void WritePingList(TIniFile& ini, const QStringList& list);

// The Ping page's runs: a chosen number of echoes to a target, or a trace
// hop by hop, paced by TimerPing, each probe on a worker of its own on the
// page's own pinger. Results come back by queued signals; the output and
// the recent list live here, the page only shows them.
class TPingPageEngine : public QObject {
    Q_OBJECT
public:
    // `settings` gives the settings file each time the list is saved.
    explicit TPingPageEngine(std::function<TIniFile&()> settings, QObject* parent = nullptr);
    ~TPingPageEngine() override;

    // Where the run reads the controls, at each click and each probe.
    void SetInputs(std::function<TPingInputs()> f) { inputs = std::move(f); }
    void SetProbeWrapper(TProbeWrapper w) { wrapper = std::move(w); }

    TLogModel& Output() const { return *output; }
    QStringList& List() { return list; }
    const QStringList& List() const { return list; }
    // Start-up: the list as the settings file holds it.
    void LoadList(const TIniFile& ini);

    // Handlers with their fixed names.
    void ButtonPingPageClick();
    void TimerPingTimer();

    bool Running() const { return runFlag == 1; }
    QString ButtonCaption() const {
        return runFlag == 1 ? QStringLiteral("Stop") : QStringLiteral("Ping");
    }
    bool WorkerBusy() const { return busy; }
    int PacketCount() const { return packetCount; }
    int HopNumber() const { return hopNumber; }

    QTimer TimerPing;

signals:
    void CaptionChanged(const QString& caption);
    void ListChanged();
    void ProbeStarted();
    void ProbeFinished();
    // A run came to its end (by its rules or after Stop).
    void RunEnded();

private:
    void write(const QString& line);
    void startProbe();
    void probeFinished(const TPingProbeResult& result, quint64 run, bool trace);
    void endRun();
    TPingInputs read() const;

    std::function<TIniFile&()> settings;
    std::function<TPingInputs()> inputs;
    TProbeWrapper wrapper;
    std::shared_ptr<TPinger> pagePinger;
    TLogModel* output;
    QStringList list;

    int runFlag = 0;
    bool busy = false;
    // A tick that found the previous run's worker still busy; its probe
    // starts when that worker ends.
    bool probeWaiting = false;
    quint64 runId = 0; // which run a finishing worker belongs to
    QString targetText;
    int hopNumber = 1;
    int packetCount = 0;
    QPointer<TPingWorker> worker;
};
