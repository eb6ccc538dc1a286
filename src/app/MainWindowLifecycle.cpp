// Start-up, the close rule, resizing, the tray icon and the clock tick.
#include "MainWindow.h"

#include "MonitorSetupPage.h"
#include "Prompts.h"
#include "SavedState.h"
#include "devices/DataFile.h"
#include "devices/DeviceGrid.h"
#include "devices/GridView.h"
#include "dns/DNSResolverPage.h"
#include "mail/EMAILLog.h"
#include "mail/MailDelivery.h"
#include "mail/SMTPClient.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorLog.h"
#include "platform/Clock.h"
#include "platform/Helpers.h"
#include "platform/IniFile.h"
#include "platform/Launcher.h"
#include "platform/VelmoraError.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHostInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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

TForm1::TForm1() : TForm1(Options{}) {}

TForm1::TForm1(Options o) : options(std::move(o)) {
    if (!options.startSocketLayer)
        options.startSocketLayer = startPosixSockets;
    grid = new TDeviceGrid(this);
    cycle = new TMonitorCycle(grid, this);
    for (auto [timer, name, interval] :
         {std::tuple{&TimerTime, "TimerTime", 1000}, std::tuple{&TimerPing, "TimerPing", 800},
          std::tuple{&EMAILTimer, "EMAILTimer", 5000}, std::tuple{&TimerSMTP, "TimerSMTP", 15000},
          std::tuple{&TimerSMTP2, "TimerSMTP2", 15000}}) {
        timer->setObjectName(QLatin1String(name));
        timer->setInterval(interval);
    }
    connect(&TimerTime, &QTimer::timeout, this, [this] { Guarded([this] { TimerTimeTimer(); }); });
    buildWindow();
    buildMenus();
    buildTray();
    buildGrid();
    wireCycle();
    buildMail();
    SetPromptParent(this);
    FormCreate();
}

TForm1::~TForm1() {
    // These use the window's timers, which die with the window's members,
    // before the base class deletes its children.
    delete mailDelivery;
    delete smtp;
}

TIniFile& TForm1::Settings() {
    const QString path = SettingsFilePath();
    if (!ini || ini->FileName() != path)
        ini = std::make_unique<TIniFile>(path);
    return *ini;
}

QString TForm1::HelpFilePath() const {
    return FindFileAnyCase(ProgramFolder(), QStringLiteral("velmora.hlp"));
}

void TForm1::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const TVelmoraError& e) {
        ShowError(e.message());
    } catch (const std::exception& e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    }
}

void TForm1::ShowError(const QString& text) {
    Prompts().Message(text, QStringLiteral("Velmora"), TPrompts::Buttons::Ok,
                      TPrompts::Icon::Error);
}

void TForm1::applyIntervals() {
    const TMonitorSettings m = MonitorSetup->Values();
    cycle->SetIntervals(m.interPacketDelay, m.interSiteDelay);
}

void TForm1::FormCreate() {
    // 1. Every timer off.
    EMAILTimer.stop();
    TimerPing.stop();
    cycle->StopTimers();
    TimerTime.stop();
    TimerSMTP.stop();
    TimerSMTP2.stop();
    // 2. E-mail defaults.
    notifyAddresses.clear();
    email = TEmailSettings{};
    winsockData = TWinsockData{};
    // 3. Cycle position, pending edits, selection, sort directions.
    cycle->loopCount = 0;
    cycle->currentRow = 0;
    selectedRow = 0;
    sortDirections.fill(false);
    // 4.
    PageControl1->setCurrentWidget(TabSheet1);
    // 5.
    grid->SetGridHeader();
    // 6.
    TrayIcon1->setToolTip(QStringLiteral("Velmora\nRight Click for Menu"));
    setStatus(1, QStringLiteral("Idle"));
    cycle->cycleBusy = 0;
    // 7. Settings, or the defaults with the loopback row.
    const bool haveSettings = Settings().Exists();
    if (haveSettings) {
        Guarded([this] { LoadSettings(); });
    } else {
        AddLoopbackRow(*grid, Clock().now());
        const QSize screen = options.screenSize.isValid()
                                 ? options.screenSize
                                 : QGuiApplication::primaryScreen()->size();
        resize(int(screen.width() * 0.85), int(screen.height() * 0.65));
    }
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // 8.
    applyIntervals();
    // 9. Without a socket layer nothing else can run; the window stays
    // open with no timer and can still be closed.
    socketLayerStarted = options.startSocketLayer();
    if (!socketLayerStarted) {
        Prompts().Message(QStringLiteral("Usable Winsock.dll Not Found"),
                          QStringLiteral("Winsock Error"), TPrompts::Buttons::Ok,
                          TPrompts::Icon::Error);
        startingUp = false;
        return;
    }
    winsockData.version = QStringLiteral("1.1");
    winsockData.description = QStringLiteral("POSIX sockets");
    winsockData.systemStatus = QStringLiteral("Running");
    // 10. The host name; its address is looked up without holding the
    // window up.
    char name[101] = {};
    if (::gethostname(name, 100) != 0) {
        localHostName = QStringLiteral("Unknown:");
        localHostIP.clear();
    } else {
        localHostName = QString::fromLocal8Bit(name);
        QHostInfo::lookupHost(localHostName, this, [this](const QHostInfo& info) {
            for (const QHostAddress& a : info.addresses())
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    localHostIP = a.toString();
                    return;
                }
        });
    }
    // 11. The data file, unless the grid comes from the saved state.
    if (!MonitorSetup->cbSaveState->isChecked())
        LoadDataFile(*grid, datFile, Clock().now());
    // 12. An empty queue; every device row starts with a cleared
    // notification record (the rows carry them).
    queue.Clear();
    // 13. The help file is found when help is asked for.
    // 14.
    DNSPage->PromptForServerIfNone();
    // 15. The grid, logs and queue as they were at the last close.
    if (MonitorSetup->cbSaveState->isChecked() && haveSettings)
        Guarded([this] {
            RestoreSavedState(
                Settings(),
                {*grid, [this](const QString& l) { VelmoraMemo->AppendMonitorLog(l); },
                 [this](const QString& l) { EMAILLog->AppendLine(l); }, queue, cycle->currentRow},
                Clock().now());
        });
    // 16.
    applyIntervals();
    // 17.
    sg->clearSelection();
    sg->setCurrentIndex({});
    // 18.
    TimerTime.start();
    TimerPing.stop();
    EMAILTimer.start();
    cycle->TimerInterPacket.stop();
    cycle->TimerInterSite.start();
    // 19.
    startingUp = false;
}

void TForm1::LoadSettings() {
    TIniFile& s = Settings();
    const QString& v = Sections::Velmora;
    datFile = s.ReadString(v, QStringLiteral("DATFile"), QString());
    MonitorSetup->SetValues(ReadMonitorSettings(s, MonitorSetup->Values()));
    const QSize screen = options.screenSize.isValid() ? options.screenSize
                                                      : QGuiApplication::primaryScreen()->size();
    const int w = s.ReadInteger(v, QStringLiteral("Width"), int(screen.width() * 0.85));
    const int h = s.ReadInteger(v, QStringLiteral("Height"), int(screen.height() * 0.65));
    resize(std::max(w, 100), std::max(h, 100));
    email = ReadEmailSettings(s);
    DebugEMAIL1->setChecked(email.debugEMAIL);
    ActionHoldEMAIL->setChecked(email.dontNotify);
    notifyAddresses = ReadNotifyAddresses(s);
    DNSPage->LoadSettings(s);
}

void TForm1::SaveMonitorSettingsFromControls() {
    ::SaveMonitorSettings(Settings(), MonitorSetup->Values());
}

void TForm1::ButtonApplySettingsClick() {
    cycle->Apply([this] { SaveMonitorSettingsFromControls(); },
                 [this] {
                     const TMonitorSettings m = MonitorSetup->Values();
                     return std::pair{m.interPacketDelay, m.interSiteDelay};
                 });
}

TForm1::CloseAction TForm1::FormClose() {
    // A delivery under way keeps EMAILTimer stopped; without a socket
    // layer the timer never ran, and nothing holds the close up.
    const bool deliveryRunning =
        (socketLayerStarted && !EMAILTimer.isActive()) || mailDelivery->DeliveryRunning();
    if (cycle->cycleBusy != 0 || deliveryRunning) {
        closePending = true;
        return CloseAction::None;
    }
    closeSequence();
    return CloseAction::Free;
}

void TForm1::resumeAfterFailedClose() {
    // A refused close would otherwise be retried, and fail, every second.
    closePending = false;
    TimerTime.start();
    if (socketLayerStarted && !mailDelivery->DeliveryRunning())
        EMAILTimer.start();
    cycle->ResumeBetweenDevices();
}

void TForm1::closeSequence() {
    cycle->StopTimers();
    EMAILTimer.stop();
    TimerPing.stop();
    TimerTime.stop();
    TimerSMTP.stop();
    TimerSMTP2.stop();
    trayFlipTimer.stop();
    smtp->ClientSocket1.abort();
    if (MonitorSetup->cbSaveState->isChecked()) {
        // A state that cannot be written keeps the window open; monitoring
        // goes on rather than stopping with nobody told.
        try {
            SaveStateOnExit(Settings(), {*grid, VelmoraMemo->Lines(), EMAILLog->Lines(), queue,
                                         cycle->currentRow});
        } catch (...) {
            resumeAfterFailedClose();
            throw;
        }
    }
    // Saving the state joins here with its own change.
    queue.Clear();
    TrayIcon1->hide();
    closeAllowed = true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (closeAllowed) {
        event->accept();
        return;
    }
    CloseAction action = CloseAction::None;
    Guarded([&] { action = FormClose(); });
    if (action == CloseAction::None) {
        event->ignore();
        return;
    }
    event->accept();
    if (options.quitOnClose)
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TForm1::Exit2Click() {
    close();
}
void TForm1::Exit3Click() {
    close();
}

void TForm1::Restore1Click() {
    showNormal();
    raise();
    activateWindow();
}

void TForm1::FormResize() {
    sg->ApplyColumnWidths(GroupBox1->width());
    const int w = width();
    statbar[0]->setFixedWidth(int(w * 0.33));
    statbar[1]->setFixedWidth(int(w * 0.40));
    statbar[2]->setFixedWidth(int(w * 0.27));
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
    // The first show reports the size set during start-up; only a change
    // afterwards is written.
    if (startingUp || !event->oldSize().isValid() || event->oldSize() == event->size())
        return;
    Guarded([this] { SaveWindowSize(Settings(), width(), height()); });
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Only hide the task-bar entry when the tray icon can bring it back.
    if (TrayIcon1->isVisible() && QSystemTrayIcon::isSystemTrayAvailable())
        QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == GroupBox1 && event->type() == QEvent::Resize)
        sg->ApplyColumnWidths(GroupBox1->width());
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        if (auto* menu = qobject_cast<QMenu*>(watched)) {
            QAction* active = menu->activeAction();
            const QVariant context = active && active->property("helpContext").isValid()
                                         ? active->property("helpContext")
                                         : menu->property("helpContext");
            if (context.isValid()) {
                menu->close();
                HelpContext(context.toInt());
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::Help1Click() {
    HelpContext(0);
}

void TForm1::HelpContext(int context) {
    const QString path = HelpFilePath();
    if (!QFileInfo::exists(path)) {
        Prompts().Message(QStringLiteral("The help file %1 is missing.").arg(path),
                          QStringLiteral("Velmora Help"), TPrompts::Buttons::Ok,
                          TPrompts::Icon::Warning);
        return;
    }
    if (!Launcher().OpenHelp(path, context))
        Prompts().Message(QStringLiteral("No help viewer could open %1.").arg(path),
                          QStringLiteral("Velmora Help"), TPrompts::Buttons::Ok,
                          TPrompts::Icon::Warning);
}

void TForm1::StartTrayAnimation() {
    trayTicks = 0;
    trayAnimating = true;
    trayImage = 0;
    TrayIcon1->setIcon(ImageList1[0]);
    trayFlipTimer.start();
    repaint();
}

void TForm1::TimerTimeTimer() {
    if (closePending && cycle->cycleBusy == 0) {
        close();
        return;
    }
    clockText = ClockText(Clock().now());
    setStatus(0, clockText);
    if (trayAnimating && ++trayTicks > 5) {
        trayAnimating = false;
        trayFlipTimer.stop();
        trayImage = 0;
        TrayIcon1->setIcon(ImageList1[0]);
    }
}

void TForm1::New1Click() {
    Launcher().OpenTextEditor(QString());
}

static const QString kDatFilter = QStringLiteral("Dat Files (*.dat)|*.dat|All Files (*.*)|*.*");

void TForm1::FileOpenDataFileAccept() {
    const QString path = Prompts().OpenFileName(QStringLiteral("Open a DAT File to Edit"),
                                                kDatFilter, QStringLiteral("dat"), QString());
    if (!path.isEmpty())
        Launcher().OpenTextEditor(path);
}

void TForm1::FileOpenMonitorFileAccept() {
    const QString path = Prompts().OpenFileName(QStringLiteral("Open Monitor File"), kDatFilter,
                                                QStringLiteral("dat"), QString());
    if (!path.isEmpty())
        StartNewMonitor(path);
}

void TForm1::StartNewMonitor(const QString& path) {
    // Never reload the grid under a probe: the cycle starts it at the end
    // of the device.
    if (cycle->cycleBusy) {
        pendingMonitorPath = path;
        return;
    }
    cycle->StopTimers();
    datFile = path;
    LoadDataFile(*grid, datFile, Clock().now());
    cycle->currentRow = 0;
    cycle->packetCount = 0;
    cycle->loopCount = 0;
    VelmoraMemo->clear();
    // The cycle restarts even if the path cannot be written.
    try {
        Settings().WriteString(Sections::Velmora, QStringLiteral("DATFile"), datFile);
    } catch (...) {
        sg->clearSelection();
        cycle->ResumeBetweenDevices();
        throw;
    }
    sg->clearSelection();
    cycle->ResumeBetweenDevices();
}
