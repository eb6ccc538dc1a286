// The window's side of start-up and close, resizing, the tray icon and the
// clock's display; the rules themselves are the session's.
#include "MainWindow.h"

#include "devices/GridView.h"
#include "dns/DNSResolverPage.h"
#include "icmp/PingPageEngine.h"
#include "mail/MailSettings.h"
#include "metrics/Metrics.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/ClockTexts.h"
#include "platform/ErrorGuard.h"
#include "platform/FileFolders.h"
#include "platform/Launcher.h"
#include "platform/Prompts.h"
#include "session/Session.h"
#include "ui/DialogPrompts.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHostInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>

TForm1::TForm1() : TForm1(Options{}) {}

TForm1::TForm1(Options o) : options(std::move(o)) {
    TSession::Options so;
    so.startSocketLayer = options.startSocketLayer;
    session = new TSession(std::move(so), this);
    dialogs = std::make_unique<TDialogPrompts>();
    dialogs->parent = this;
    SetDefaultPrompts(dialogs.get());
    buildWindow();
    buildMenus();
    buildTray();
    setWindowIcon(TrayIcon1->Image(0));
    buildGrid();
    bindSession();
    bindMail();
    bindWeb();
    bindEditing();
    FormCreate();
}

TForm1::~TForm1() {
    SetDefaultPrompts(nullptr);
}

void TForm1::bindSession() {
    connect(session, &TSession::ActivityChanged, this,
            [this](const QString& t) { setStatus(1, t); });
    connect(session, &TSession::ClockTicked, this, &TForm1::clockTicked);
    connect(session, &TSession::CloseRetry, this, [this] { close(); });
    connect(session, &TSession::DeviceWentDown, this, &TForm1::deviceWentDown);
    connect(session, &TSession::MonitorSettingsLoaded, this, &TForm1::showMonitorSettings);
    connect(session, &TSession::DNSListsChanged, DNSPage, &TDNSResolverPage::RefreshLists);
    connect(session, &TSession::ShowEmailLogRequested, this,
            [this] { PageControl1->setCurrentWidget(TabSheet5); });
    // The listener's outcome arrives from its thread, after any step of the
    // cycle; monitoring goes on whatever the operator answers.
    connect(&session->Metrics(), &TMetrics::ListenerFailed, this, [](const QString& line) {
        Prompts().Message(line, QStringLiteral("Velmora"), TPrompts::Buttons::Ok,
                          TPrompts::Icon::Warning);
    });
    // The controls' values are in use at once; Apply writes them.
    connect(MonitorSetup, &TMonitorSetupPage::valuesChanged, this,
            [this] { session->SetMonitorSettings(MonitorSetup->Values()); });
}

void TForm1::showMonitorSettings() {
    // A copy, and no echo of each control back into the session while the
    // page fills.
    const TMonitorSettings m = session->Monitor();
    const QSignalBlocker quiet(MonitorSetup);
    MonitorSetup->SetValues(m);
    MonitorSetup->EditMetricsListen->setText(session->MetricsConfig().listen);
}

// The window's side of start-up around the session's own steps: what the
// window shows before any question start-up may ask, then what start-up
// loaded.
void TForm1::FormCreate() {
    PageControl1->setCurrentWidget(TabSheet1);
    TrayIcon1->SetHint(QStringLiteral("Velmora\nRight Click for Menu"));
    const QSize screenShare = sizeToScreen();
    session->Start();
    showStartUpSettings(screenShare);
    centreOnScreen();
    clearGridSelection();
    // Resizes from here on are the operator's, and written.
    startingUp = false;
}

QSize TForm1::sizeToScreen() {
    // A first start keeps this size; a settings file may replace it.
    const QSize screen = options.screenSize.isValid() ? options.screenSize
                                                      : QGuiApplication::primaryScreen()->size();
    const QSize share(int(screen.width() * 0.85), int(screen.height() * 0.65));
    resize(share);
    return share;
}

void TForm1::showStartUpSettings(const QSize& screenShare) {
    // These widgets do not follow the session by signal.
    DNSPage->ShowLists();
    if (session->SettingsFound())
        resize(std::max(session->WindowWidth(screenShare.width()), 100),
               std::max(session->WindowHeight(screenShare.height()), 100));
    DebugEMAIL1->setChecked(session->Email().debugEMAIL);
    ActionHoldEMAIL->setChecked(session->Email().dontNotify);
}

void TForm1::centreOnScreen() {
    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void TForm1::clearGridSelection() {
    // No device is chosen for edit or delete until the operator picks one.
    sg->clearSelection();
    sg->setCurrentIndex({});
}

void TForm1::ButtonApplySettingsClick() {
    session->SetMonitorSettings(MonitorSetup->Values());
    session->SetMetricsSettings({MonitorSetup->EditMetricsListen->text().trimmed()});
    session->ButtonApplySettingsClick();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (session->Closed()) {
        event->accept();
        return;
    }
    bool closed = false;
    Guarded([&] { closed = session->RequestClose(); });
    if (!closed) {
        event->ignore();
        return;
    }
    TrayIcon1->Hide();
    event->accept();
    if (options.quitOnClose)
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TForm1::CancelModalDialogs() {
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        modal->close();
    }
}

void TForm1::TerminationRequested() {
    CancelModalDialogs();
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
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
    Guarded([this] { session->SaveWindowSize(width(), height()); });
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Only hide the task-bar entry when the tray icon can bring it back.
    if (TrayIcon1->CanRestore())
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
    TrayIcon1->StartAnimation();
    repaint();
}

void TForm1::TimerTimeTimer() {
    session->TimerTimeTimer();
}

bool TForm1::TrayAnimating() const {
    return TrayIcon1->Animating();
}

void TForm1::clockTicked() {
    setStatus(0, session->ClockText());
    TrayIcon1->Tick();
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
    if (!path.isEmpty()) {
        session->StartNewMonitor(path);
        sg->clearSelection();
    }
}
