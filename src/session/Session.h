#pragma once

#include "devices/DataFile.h"
#include "dns/DNSSettings.h"
#include "history/HistoryStore.h"
#include "mail/AlertQueue.h"
#include "mail/MailSettings.h"
#include "metrics/MetricsSettings.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorSettings.h"
#include "net/NameLookup.h"
#include "push/PushQueue.h"
#include "push/PushSettings.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class TClock;
class TDeviceGrid;
class TIniFile;
class TLogModel;
class TMailDelivery;
class TMetrics;
class TPingPageEngine;
class TPrompts;
class TPublisher;
class TPushDelivery;
class TSMTPClient;
struct TDeviceLines;

// What the socket layer reports about itself (shown by the information
// dialog).
struct TWinsockData {
    QString version;
    QString description;
    QString systemStatus;
    int maxSockets = 0;
    int maxUdpDatagram = 0;
};

// The running monitor, with or without a window: the grid, the cycle and
// its deferred requests, the monitor and e-mail logs, the queue and its
// delivery, the settings, the start-up sequence and the close rule. Front
// ends show its state and forward the operator's commands; nothing here
// needs a display.
class TSession : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The settings file; empty: the one beside the executable.
        QString settingsPath;
        // Starting the socket layer; replaced by tests to make it fail.
        std::function<bool()> startSocketLayer;
        // Seams; null or empty: the process-wide ones and the real pinger.
        TPrompts* prompts = nullptr;
        const TClock* clock = nullptr;
        TMonitorCycle::EchoFunction echo;
        // This computer's name, nothing when it cannot be read; empty:
        // gethostname(2).
        std::function<std::optional<QString>()> hostName;
        // The name the status pages are called after; empty: the running
        // executable's.
        QString executableName;
    };

    explicit TSession(QObject* parent = nullptr);
    explicit TSession(Options options, QObject* parent = nullptr);
    ~TSession() override;

    // The start-up sequence. The front end shows its window around it.
    void Start();
    bool SettingsFound() const { return settingsFound; }
    bool SocketLayerStarted() const { return socketLayerStarted; }
    bool StartingUp() const { return startingUp; }
    // How the start-up load of the configured data file went; the grid
    // shows the outcome, a front end without one says it.
    enum class TDataFileStart { NotUsed, Loaded, Missing, Unreadable };
    TDataFileStart DataFileAtStart() const { return dataFileAtStart; }
    // Devices loaded and lines left out by that load.
    const TDataFileLoadReport& DataFileReport() const { return dataFileReport; }

    TDeviceGrid& Grid() const { return *grid; }
    TMonitorCycle& Cycle() const { return *cycle; }
    TLogModel& MonitorLog() const { return *monitorLog; }
    TLogModel& EmailLog() const { return *emailLog; }
    TNotificationQueue& Queue() { return queue; }
    TMailDelivery& Delivery() const { return *delivery; }
    TSMTPClient& Smtp() const { return *smtp; }
    // The webhook pushes beside the e-mails.
    TPushQueue& PushQueue() { return pushQueue; }
    TPushDelivery& Push() const { return *push; }
    TPushSettings& PushSettings() { return pushSettings; }
    // The status pages, their publication and its schedule.
    TPublisher& Publisher() const { return *publisher; }
    // The Ping page's runs and recent list, on a pinger of their own.
    TPingPageEngine& PingPage() const { return *pingPage; }
    // The page's Apply: its settings into the settings file.
    void ButtonApplyWebPageClick();
    // Where "Explore Grid/Log Web Pages" finds the index page.
    QString IndexPagePath() const;
    TIniFile& Settings();
    TPrompts& Prompter() const;
    const TClock& Now() const;

    // The monitor settings in use; SetMonitorSettings changes them at once
    // (the front end's controls), Apply writes them and restarts the cycle.
    const TMonitorSettings& Monitor() const { return monitor; }
    void SetMonitorSettings(const TMonitorSettings& m) { monitor = m; }
    void ButtonApplySettingsClick();
    // Where the metrics are served; Apply writes it and moves the listener.
    const TMetricsSettings& MetricsConfig() const { return metricsSettings; }
    void SetMetricsSettings(const TMetricsSettings& m) { metricsSettings = m; }
    TMetrics& Metrics() const { return *metrics; }

    TEmailSettings& Email() { return email; }
    QStringList& NotifyAddresses() { return notifyAddresses; }
    TDNSLists& DNSLists() { return dnsLists; }
    // The DNS server e-mail lookups use: the one the DNS page shows, or the
    // first of the list without a page.
    void SetShownDnsServer(std::function<QString()> f) { shownDnsServer = std::move(f); }
    QString ShownDnsServer() const;
    // Adds a server to the recent list; true when the list changed.
    bool AddDnsServer(const QString& server);
    void SaveDNSLists();
    void SetHoldEMAIL(bool on);
    void SetDebugEMAIL(bool on);

    const QString& ClockText() const { return clockText; }
    const QString& DataFile() const { return datFile; }
    const QString& LocalHostName() const { return localHostName; }
    const QString& LocalHostIP() const { return localHostIP; }
    // In place of the start-up lookup's answer (tests on loopback).
    void SetLocalHostIP(const QString& ip) { localHostIP = ip; }
    const TWinsockData& WinsockData() const { return winsockData; }
    int SelectedRow() const { return selectedRow; }
    void SetSelectedRow(int row) { selectedRow = row; }
    int WindowWidth(int def) const;
    int WindowHeight(int def) const;
    void SaveWindowSize(int width, int height);

    // Commands that move rows wait for the end of the device being probed.
    void SortRequest(int column);

    // Device editing. Each change runs at once between probes; during a
    // probe it is kept (one of each kind, the latest winning) and runs at
    // the end of that device, after a pending sort and Apply.
    // Whether a change may reach the data file: a path is set and the grid
    // is not kept by "Save State on Exit:".
    bool FileOptionsAllow() const;
    // The data file's name without its folder.
    QString DataFileName() const;
    void InsertGridDevice(const QString& address, const QString& location, bool append,
                          const QString& critical);
    // Changes the device whose address is `previous`: the selected row when
    // it still holds it, else the first row that does.
    void UpdateGridDevice(const QString& previous, const QString& address, bool update,
                          const QString& critical, const QString& location);
    // Deletes the selected device after asking; the last device stays.
    void ActionDeleteGridDeviceExecute();
    void MergeFileIntoGrid(const QString& path, bool append);

    struct TPendingEdits {
        struct Insert {
            QString address, location, critical;
            bool append = false;
        };
        struct Edit {
            QString previous, address, location, critical;
            bool update = false;
            std::optional<QString> previousLocation; // of the row asked for
        };
        struct Merge {
            QString path;
            bool append = false;
        };
        std::optional<Insert> insert;
        std::optional<Edit> edit;
        bool deletePending = false;
        std::optional<Merge> merge;
    };
    const TPendingEdits& PendingEdits() const { return pendingEdits; }
    void StartNewMonitor(const QString& path);

    // The clock tick: clock text, close retry, the publication schedule.
    void TimerTimeTimer();

    // The close rule. What still runs holds a close up; RequestClose then
    // remembers it (closePending) and the clock tick asks again through
    // CloseRetry. Returns true once the close sequence has run; a saved
    // state that cannot be written throws, and the session runs on.
    struct TRunning {
        bool probe = false;
        bool delivery = false;
        bool push = false;
        bool any() const { return probe || delivery || push; }
    };
    TRunning Running() const;
    bool RequestClose();
    bool ClosePending() const { return closePending; }
    bool Closed() const { return closed; }

signals:
    void ActivityChanged(const QString& text); // status panel 1
    void ClockTicked(const QString& clockText);
    // A device went DOWN: the front end beeps, animates and may pop up.
    void DeviceWentDown(const QStringList& cells);
    // Every DOWN or Up change, announced or not (the desktop notifications).
    void DeviceChanged(bool down, const QStringList& cells);
    // A refused close may now succeed.
    void CloseRetry();
    // The delivery wants its log shown.
    void ShowEmailLogRequested();
    void MonitorSettingsLoaded();
    void DNSListsChanged();

private:
    // The start-up steps, in the order Start() runs them.
    void stopTimers();
    void resetToDefaults();
    void loadSettingsOrDefaults();
    void loadSettings();
    bool startSocketLayer();
    void lookUpLocalAddress();
    void localAddressFound(const QList<QHostAddress>& addresses);
    void loadDataFileUnlessRestoring(bool restoring);
    void askForDnsServerIfNone();
    void restoreSavedState();
    void startTimers();
    void evaluateTransition(int row, bool succeeded, const QDateTime& t);
    void runDeferredRequests();
    void runPendingEdits();
    // A refusal of an edit: at once, or after the current step of the cycle
    // when a pending edit is applied there.
    void tell(const QString& text, const QString& title);
    // The address rule and a location: tells the operator and returns true
    // when either fails.
    bool fieldsRefused(const QString& address, const QString& location);
    void updateGridDevice(const QString& previous, const std::optional<QString>& previousLocation,
                          const QString& address, bool update, const QString& critical,
                          const QString& location);
    // The row an edit of `previous` changes: the selected row when it still
    // holds that device, else the first that does; 0 when none does. A
    // location, when known, must match too, unless no row has both.
    int editedRow(const QString& previous, const std::optional<QString>& previousLocation) const;
    // The data-file lines of the device in `row`, beside the other rows like it.
    TDeviceLines deviceLines(int row) const;
    // Tells the operator that the data file did not take a change.
    void dataFileNotWritten();
    void updateRow(int row, const QString& address, bool update, const QString& critical,
                   const QString& location);
    void sortByColumn(int column);
    void sortColumn(int column);
    void startNewMonitorNow(const QString& path);
    void writeDataFilePath();
    void applyIntervals();
    void applyNow();
    void saveQueue();
    void savePushQueue();
    void closeSequence();
    void saveStateIfKept();
    void resumeAfterFailedClose();
    // Shows an error after the current step has returned, so that no box
    // opens inside a step of the cycle.
    void showErrorLater(const std::function<void()>& handler);

    Options options;
    std::unique_ptr<TIniFile> ini;
    // The probe history; closed (no file) while HistoryDays is 0.
    THistoryStore history;
    void openHistory();
    TDeviceGrid* grid = nullptr;
    TMonitorCycle* cycle = nullptr;
    TLogModel* monitorLog = nullptr;
    TLogModel* emailLog = nullptr;
    TNotificationQueue queue;
    TSMTPClient* smtp = nullptr;
    TMailDelivery* delivery = nullptr;
    TPushQueue pushQueue;
    TPushSettings pushSettings;
    TPushDelivery* push = nullptr;
    TPublisher* publisher = nullptr;
    TPingPageEngine* pingPage = nullptr;
    TMetrics* metrics = nullptr;
    QTimer TimerTime;
    QTimer EMAILTimer;

    TMonitorSettings monitor;
    TMetricsSettings metricsSettings;
    TEmailSettings email;
    QStringList notifyAddresses;
    TDNSLists dnsLists;
    std::function<QString()> shownDnsServer;

    bool startingUp = true;
    bool settingsFound = false;
    bool socketLayerStarted = false;
    TDataFileStart dataFileAtStart = TDataFileStart::NotUsed;
    TDataFileLoadReport dataFileReport;
    bool closePending = false;
    bool closed = false;
    QString clockText;
    QString datFile;
    QString localHostName;
    QString localHostIP;
    TNameLookup localLookup;
    TWinsockData winsockData;
    int selectedRow = 0;
    std::array<bool, 13> sortDirections{};
    std::optional<int> pendingSort;
    std::optional<QString> pendingMonitorPath;
    TPendingEdits pendingEdits;
    bool inCycleStep = false;
};
