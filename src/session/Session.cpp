// The session's life: construction, start-up, settings and the close rule.
#include "Session.h"

#include "SavedState.h"
#include "SystemInfo.h"
#include "devices/DataFile.h"
#include "devices/DeviceGrid.h"
#include "icmp/IcmpSocket.h"
#include "icmp/PingPageEngine.h"
#include "icmp/Pinger.h"
#include "mail/MailDelivery.h"
#include "mail/SMTPClient.h"
#include "metrics/Metrics.h"
#include "platform/Clock.h"
#include "platform/ClockTexts.h"
#include "platform/FileFolders.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "platform/Prompts.h"
#include "platform/TextRules.h"
#include "platform/VelmoraError.h"
#include "push/PushDelivery.h"
#include "web/Publisher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kDatFile = QStringLiteral("DATFile");
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");

std::optional<QString> systemHostName() {
    char name[101] = {};
    if (::gethostname(name, 100) != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(name);
}

bool startPosixSockets() {
    // Sockets need no start-up here; a socket that can be opened shows the
    // layer is usable.
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

TSession::TSession(QObject* parent) : TSession(Options{}, parent) {}

TSession::TSession(Options o, QObject* parent) : QObject(parent), options(std::move(o)) {
    if (!options.startSocketLayer)
        options.startSocketLayer = startPosixSockets;
    if (!options.hostName)
        options.hostName = systemHostName;
    if (options.settingsPath.isEmpty())
        options.settingsPath = SettingsFilePath();
    ini = std::make_unique<TIniFile>(options.settingsPath);
    grid = new TDeviceGrid(this);
    cycle = new TMonitorCycle(grid, this);
    if (options.echo)
        cycle->SetEcho(options.echo);
    monitorLog = new TLogModel(this);
    monitorLog->setObjectName(QStringLiteral("VelmoraLog"));
    emailLog = new TLogModel(this);
    emailLog->setObjectName(QStringLiteral("EMAILLog"));
    for (auto [timer, name, interval] :
         {std::tuple{&TimerTime, "TimerTime", 1000}, std::tuple{&EMAILTimer, "EMAILTimer", 5000}}) {
        timer->setObjectName(QLatin1String(name));
        timer->setInterval(interval);
        // A member, so it leaves the children before QObject deletes them;
        // the parent makes it findable by name.
        timer->setParent(this);
    }
    connect(&TimerTime, &QTimer::timeout, this,
            [this] { showErrorLater([this] { TimerTimeTimer(); }); });

    TMonitorCycle::Host h;
    h.pingTimeOut = [this] { return monitor.pingTimeOut; };
    h.packetsPerSite = [this] { return monitor.packetsPerSite; };
    h.verbose = [this] { return monitor.logVerbose; };
    h.closePending = [this] { return closePending; };
    h.setActivity = [this](const QString& text) { emit ActivityChanged(text); };
    h.appendLog = [this](const QString& line) { monitorLog->Append(line); };
    h.evaluate = [this](int row, bool ok, const QDateTime& t) { evaluateTransition(row, ok, t); };
    h.runDeferred = [this] { runDeferredRequests(); };
    h.echoRecorded = [this](int row, const TEchoResult& r, const QDateTime& t) {
        history.RecordEcho({t.toMSecsSinceEpoch(), grid->Cell(row, Col::Address),
                            grid->Cell(row, Col::Location), r.replied, qint32(r.roundTripTime)});
    };
    cycle->SetHost(std::move(h));

    smtp = new TSMTPClient(email,
                           {[this](const QString& t) { emailLog->AppendText(t); },
                            [this] { return closePending; }, [this] { return dnsLists.servers; },
                            [this] { return ShownDnsServer(); }, [this] { return localHostIP; },
                            [this] { return clockText; }},
                           this);
    delivery = new TMailDelivery(queue, email, *smtp, EMAILTimer,
                                 {[this](const QString& l) { emailLog->AppendText(l); },
                                  [this] { emit ShowEmailLogRequested(); },
                                  [this] { return closePending; }},
                                 this);
    delivery->UseClock(options.clock);
    metrics = new TMetrics(*grid, this);
    connect(cycle, &TMonitorCycle::echoRecorded, metrics,
            [this](int row, bool replied, quint32 rtt) {
                metrics->EchoRecorded(row, replied, rtt);
                metrics->CyclePosition(cycle->LoopCount());
            });
    connect(delivery, &TMailDelivery::DeliveryFinished, metrics, &TMetrics::DeliveryFinished);
    queue.SetOnChange([this] {
        saveQueue();
        metrics->QueueChanged(queue.Count());
    });
    push = new TPushDelivery(
        pushQueue, pushSettings,
        {[this](const QString& l) { emailLog->AppendText(l); }, [this] { return closePending; }},
        this);
    pushQueue.SetOnChange([this] { savePushQueue(); });

    if (options.executableName.isEmpty())
        options.executableName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    publisher = new TPublisher(
        {[this]() -> const TDeviceGrid& { return *grid; }, [this] { return monitorLog->Lines(); },
         [this] { return unsigned(monitor.upColor); },
         [this] { return unsigned(monitor.downColor); }, [this] { return clockText; },
         // Beside the program only when the settings are; an installed
         // copy's users cannot (and root should not) write there.
         [this] { return DataFolder() + options.executableName; },
         // An error that ends a run is shown without waiting for the
         // operator: the cycle, the clock and the delivery go on meanwhile.
         [this]() -> TPrompts& { return Prompter(); }},
        this);
    pingPage = new TPingPageEngine([this]() -> TIniFile& { return Settings(); }, this);
    publisher->TransferLog().setObjectName(QStringLiteral("TransferMemo"));
}

TSession::~TSession() {
    // The delivery and the client use the queue and the timers, which are
    // members and die before the children QObject deletes.
    queue.SetOnChange({});
    pushQueue.SetOnChange({});
    delete push;
    // The listener's thread ends before the families it reads.
    delete metrics;
    delete delivery;
    delete smtp;
}

TIniFile& TSession::Settings() {
    return *ini;
}

TPrompts& TSession::Prompter() const {
    return options.prompts ? *options.prompts : Prompts();
}

const TClock& TSession::Now() const {
    return options.clock ? *options.clock : Clock();
}

void TSession::showErrorLater(const std::function<void()>& handler) {
    QString text;
    try {
        handler();
        return;
    } catch (const TVelmoraError& e) {
        text = e.message();
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    }
    QTimer::singleShot(0, this, [this, text] {
        Prompter().Message(text, QStringLiteral("Velmora"), TPrompts::Buttons::Ok,
                           TPrompts::Icon::Error);
    });
}

void TSession::applyIntervals() {
    cycle->SetIntervals(monitor.interPacketDelay, monitor.interSiteDelay);
}

// Start-up in the order the handlers need it: nothing fires while it runs,
// the settings come before anything that reads them, and the cycle starts
// last, on a grid and settings that are complete.
void TSession::Start() {
    stopTimers();
    resetToDefaults();
    loadSettingsOrDefaults();
    // Without a socket layer nothing else can run, so no timer starts.
    if (startSocketLayer()) {
        lookUpLocalAddress();
        const bool restore = monitor.saveStateOnExit && settingsFound;
        loadDataFileUnlessRestoring(restore);
        askForDnsServerIfNone();
        if (restore)
            restoreSavedState();
        startTimers();
        metrics->Listen(metricsSettings.listen);
    }
    // From here on a change of the queue is saved.
    startingUp = false;
}

void TSession::stopTimers() {
    EMAILTimer.stop();
    push->Stop();
    cycle->StopTimers();
    TimerTime.stop();
    pingPage->TimerPing.stop();
}

void TSession::resetToDefaults() {
    // What a first start without a settings file keeps.
    notifyAddresses.clear();
    email = TEmailSettings{};
    metricsSettings = TMetricsSettings{};
    pushSettings = TPushSettings{};
    winsockData = TWinsockData{};
    cycle->Reset();
    pendingEdits = TPendingEdits{};
    selectedRow = 0;
    sortDirections.fill(false);
    grid->SetGridHeader();
    emit ActivityChanged(QStringLiteral("Idle"));
    // Alerts of the last run come back only with the saved state.
    queue.Clear();
    pushQueue.Clear();
}

void TSession::loadSettingsOrDefaults() {
    settingsFound = Settings().Exists();
    if (settingsFound)
        showErrorLater([this] { loadSettings(); });
    else
        AddLoopbackRow(*grid, Now().now());
    // Also when start-up stops short: the Session Information dialog
    // refreshes at the inter-site pace.
    applyIntervals();
}

bool TSession::startSocketLayer() {
    socketLayerStarted = options.startSocketLayer();
    if (!socketLayerStarted) {
        Prompter().Message(QStringLiteral("Usable Winsock.dll Not Found"),
                           QStringLiteral("Winsock Error"), TPrompts::Buttons::Ok,
                           TPrompts::Icon::Error);
        return false;
    }
    // An installed copy starts without the ICMP permission: say at once, not
    // only in verbose mode, what grants it.
    if (!options.echo) {
        const TIcmpSocket probe;
        if (!probe.isOpen())
            monitorLog->Append(TPinger::SocketFailureText(probe.datagramError(), probe.rawError()));
    }
    winsockData = SystemSocketLayerData();
    return true;
}

void TSession::loadDataFileUnlessRestoring(bool restoring) {
    // After a crash before any clean close only the queue was saved: the
    // devices then come from the data file as usual.
    if (restoring && SavedGridExists(Settings()))
        return;
    const bool opened = LoadDataFile(*grid, datFile, Now().now(), &dataFileReport);
    if (!datFile.isEmpty())
        dataFileAtStart = !NamesDataFile(datFile) ? TDataFileStart::Missing
                          : opened                ? TDataFileStart::Loaded
                                                  : TDataFileStart::Unreadable;
}

void TSession::askForDnsServerIfNone() {
    // E-mail cannot find a mail exchanger without one.
    if (!dnsLists.servers.isEmpty())
        return;
    const std::optional<QString> server = AskForDNSServer(Prompter());
    if (server && !server->isEmpty()) {
        AddDnsServer(*server);
        showErrorLater([this] { SaveDNSLists(); });
    }
}

void TSession::restoreSavedState() {
    // The grid, logs, queue and row as they were at the last close.
    showErrorLater([this] {
        int row = cycle->CurrentRow();
        RestoreSavedState(Settings(),
                          {*grid, [this](const QString& l) { monitorLog->Append(l); },
                           [this](const QString& l) { emailLog->Append(l); }, queue, row},
                          Now().now());
        RestorePushQueue(Settings(), pushQueue);
        cycle->RestartAt(row);
    });
}

void TSession::startTimers() {
    TimerTime.start();
    EMAILTimer.start();
    push->Kick();
    cycle->ResumeBetweenDevices();
}

void TSession::loadSettings() {
    TIniFile& s = Settings();
    datFile = s.ReadString(kMainSection, kDatFile, QString());
    monitor = TMonitorSettings::Read(s, monitor);
    metricsSettings = TMetricsSettings::Read(s);
    openHistory();
    email = TEmailSettings::Read(s);
    pushSettings = TPushSettings::Read(s);
    pushSettings.GuardToken(s);
    notifyAddresses = ReadNotifyAddresses(s);
    dnsLists = TDNSLists::Read(s);
    pingPage->LoadList(s);
    publisher->Boxes() = TWebPageSettings::Read(s);
    emit MonitorSettingsLoaded();
    emit DNSListsChanged();
}

void TSession::openHistory() {
    if (monitor.historyDays == 0) {
        history.Close();
        return;
    }
    if (!history.IsOpen() && !history.Open(DataFolder() + THistoryStore::FileName()))
        monitorLog->Append(QStringLiteral("History not kept: ") + history.LastError());
    history.SetRetention(monitor.historyDays);
}

void TSession::lookUpLocalAddress() {
    const std::optional<QString> name = options.hostName();
    if (!name) {
        localHostName = QStringLiteral("Unknown:");
        localHostIP.clear();
        return;
    }
    localHostName = *name;
    // Looked up without holding the event loop up.
    connect(&localLookup, &TNameLookup::Found, this, &TSession::localAddressFound,
            Qt::UniqueConnection);
    localLookup.Start(localHostName);
}

void TSession::localAddressFound(const QList<QHostAddress>& addresses) {
    if (const std::optional<QHostAddress> address = TNameLookup::FirstIPv4(addresses))
        localHostIP = address->toString();
}

void TSession::writeDataFilePath() {
    Settings().WriteString(kMainSection, kDatFile, datFile);
}

int TSession::WindowWidth(int def) const {
    return ini->ReadInteger(kMainSection, kWidth, def);
}

int TSession::WindowHeight(int def) const {
    return ini->ReadInteger(kMainSection, kHeight, def);
}

void TSession::SaveWindowSize(int width, int height) {
    TIniFile& s = Settings();
    s.Update([&] {
        s.WriteInteger(kMainSection, kWidth, width);
        s.WriteInteger(kMainSection, kHeight, height);
    });
}

QString TSession::ShownDnsServer() const {
    return shownDnsServer ? shownDnsServer() : dnsLists.servers.value(0);
}

bool TSession::AddDnsServer(const QString& server) {
    if (!AddToRecentList(dnsLists.servers, server, kDNSHistoryLimit))
        return false;
    emit DNSListsChanged();
    return true;
}

void TSession::SaveDNSLists() {
    dnsLists.Write(Settings());
}

void TSession::SetHoldEMAIL(bool on) {
    delivery->ActionHoldEMAILNotificationExecute(on, Settings());
}

void TSession::SetDebugEMAIL(bool on) {
    delivery->DebugEMAILExecute(on, Settings());
}

void TSession::saveQueue() {
    // With the state kept across a restart, the queue is written at every
    // change, so a crash or a power cut loses no alert.
    if (startingUp || closed || !monitor.saveStateOnExit)
        return;
    showErrorLater([this] { SaveQueueSection(Settings(), queue); });
}

void TSession::savePushQueue() {
    if (startingUp || closed || !monitor.saveStateOnExit)
        return;
    showErrorLater([this] { SavePushQueueSection(Settings(), pushQueue); });
}

void TSession::TimerTimeTimer() {
    if (closePending && !Running().any()) {
        emit CloseRetry();
        return;
    }
    clockText = ::ClockText(Now().now());
    emit ClockTicked(clockText);
    publisher->TimerTimeTick();
}

void TSession::ButtonApplyWebPageClick() {
    publisher->Boxes().Write(Settings());
}

QString TSession::IndexPagePath() const {
    return publisher->Paths().index;
}

TSession::TRunning TSession::Running() const {
    return {cycle->Busy(), delivery->DeliveryRunning(), push->DeliveryRunning()};
}

bool TSession::RequestClose() {
    if (closed)
        return true;
    if (Running().any()) {
        closePending = true;
        return false;
    }
    closeSequence();
    return true;
}

void TSession::resumeAfterFailedClose() {
    // A refused close would otherwise be retried, and fail, every second.
    closePending = false;
    TimerTime.start();
    if (pingPage->Running() && !pingPage->WorkerBusy())
        pingPage->TimerPing.start();
    if (socketLayerStarted && !delivery->DeliveryRunning())
        EMAILTimer.start();
    push->Kick();
    cycle->ResumeBetweenDevices();
}

// The close in the order that keeps what the operator asked for: nothing
// fires or writes while the state is saved, and a state that cannot be
// written leaves the session running.
void TSession::closeSequence() {
    stopTimers();
    smtp->ClientSocket1.abort();
    saveStateIfKept();
    closed = true;
}

void TSession::saveStateIfKept() {
    if (!monitor.saveStateOnExit)
        return;
    // Monitoring goes on rather than stopping with nobody told.
    try {
        TIniFile& s = Settings();
        s.Update([&] {
            SaveStateOnExit(
                s, {*grid, monitorLog->Lines(), emailLog->Lines(), queue, cycle->CurrentRow()});
            SavePushQueueSection(s, pushQueue);
        });
    } catch (...) {
        resumeAfterFailedClose();
        throw;
    }
}
