#include "MainWindow.h"

#include "devices/DeviceGrid.h"
#include "devices/GridView.h"
#include "dns/DNSResolverPage.h"
#include "icmp/PingPageView.h"
#include "mail/EMAILLog.h"
#include "monitor/MonitorLog.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/ErrorGuard.h"
#include "platform/IniFile.h"
#include "session/Session.h"
#include "ui/TrayIcon.h"
#include "web/WebPageTab.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QWidget* makeTab(QTabWidget* tabs, const char* name, const QString& caption) {
    auto* w = new QWidget;
    w->setObjectName(QLatin1String(name));
    tabs->addTab(w, caption);
    return w;
}

template <class Pane>
Pane* makePane(QWidget* tab, const char* name, const QString& accessibleName, TLogModel& model) {
    auto* pane = new Pane;
    pane->setObjectName(QLatin1String(name));
    pane->setAccessibleName(accessibleName);
    pane->SetModel(&model);
    auto* l = new QVBoxLayout(tab);
    l->addWidget(pane);
    return pane;
}

} // namespace

void TForm1::buildWindow() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Velmora"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    setCentralWidget(PageControl1);
    TabSheet1 = makeTab(PageControl1, "TabSheet1", QStringLiteral("Monitor Grid"));
    QWidget* TabSheet3 = makeTab(PageControl1, "TabSheet3", QStringLiteral("Monitor Log"));
    QWidget* TabSheet2 = makeTab(PageControl1, "TabSheet2", QStringLiteral("Monitor Setup"));
    QWidget* TabSheet4 = makeTab(PageControl1, "TabSheet4", QStringLiteral("Ping"));
    TabSheet5 = makeTab(PageControl1, "TabSheet5", QStringLiteral("EMAIL Log"));
    QWidget* TabSheet6 = makeTab(PageControl1, "TabSheet6", QStringLiteral("DNS Resolver"));
    QWidget* TabSheet7 =
        makeTab(PageControl1, "TabSheet7", QStringLiteral("Velmora Grid/Log Web Page"));

    GroupBox1 = new QGroupBox(QStringLiteral("WAN Grid"));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    sg = new TGridView(&session->Grid());
    auto* gl = new QVBoxLayout(GroupBox1);
    gl->setContentsMargins(2, 2, 2, 2);
    gl->addWidget(sg);
    // Column widths follow the group box, which the layout sizes after the
    // window's own resize.
    GroupBox1->installEventFilter(this);
    auto* t1 = new QVBoxLayout(TabSheet1);
    t1->setContentsMargins(0, 0, 0, 0);
    t1->addWidget(GroupBox1);

    VelmoraMemo = makePane<TMonitorLog>(TabSheet3, "VelmoraMemo", QStringLiteral("Monitor Log"),
                                        session->MonitorLog());
    EMAILLog = makePane<TEMAILLog>(TabSheet5, "EMAILLog", QStringLiteral("EMAIL Log"),
                                   session->EmailLog());

    DNSPage = new TDNSResolverPage(session->DNSLists(),
                                   [this]() -> TIniFile& { return session->Settings(); });
    session->SetShownDnsServer([this] { return DNSPage->ShownServer(); });
    connect(DNSPage, &TDNSResolverPage::helpRequested, this, [this](int c) { HelpContext(c); });
    auto* t6 = new QVBoxLayout(TabSheet6);
    t6->addWidget(DNSPage);

    PingPage = new TPingPage(session->PingPage());
    auto* t4 = new QVBoxLayout(TabSheet4);
    t4->addWidget(PingPage);

    MonitorSetup = new TMonitorSetupPage;
    auto* t2 = new QVBoxLayout(TabSheet2);
    t2->addWidget(MonitorSetup);

    WebPage = new TWebPageTab(session->Publisher());
    auto* t7 = new QVBoxLayout(TabSheet7);
    t7->addWidget(WebPage);

    // A panel is read with its text; its role is the description.
    const char* const roles[] = {"Clock", "Activity", "Data File"};
    for (int i = 0; i < 3; ++i) {
        QLabel* panel = new QLabel;
        panel->setObjectName(QStringLiteral("statbarPanel%1").arg(i));
        panel->setAlignment(Qt::AlignCenter);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        panel->setAccessibleDescription(QLatin1String(roles[i]));
        statbar[size_t(i)] = panel;
        statusBar()->addWidget(panel);
        setStatus(i, QString());
    }
    statusBar()->setObjectName(QStringLiteral("statbar"));
    statusBar()->setSizeGripEnabled(true);
    connect(&session->Grid(), &TDeviceGrid::dataFileLabelChanged, this,
            [this](const QString& label) { setStatus(2, label); });

    connect(MonitorSetup, &TMonitorSetupPage::applyClicked, this,
            [this] { Guarded([this] { ButtonApplySettingsClick(); }); });
    connect(MonitorSetup, &TMonitorSetupPage::helpClicked, this, [this] { HelpContext(150); });
}

void TForm1::buildMenus() {
    auto add = [this](QMenu* menu, const char* name, const QString& caption,
                      const QKeySequence& keys, std::function<void()> handler) {
        auto* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        if (!keys.isEmpty())
            a->setShortcut(keys);
        if (handler)
            connect(a, &QAction::triggered, this, [handler] { Guarded(handler); });
        else
            a->setEnabled(false); // its page is not part of this build yet
        return a;
    };

    QMenu* tasks = menuBar()->addMenu(QStringLiteral("&Tasks"));
    tasks->setObjectName(QStringLiteral("Data1"));
    add(tasks, "New1", QStringLiteral("&New Data File..."), {}, [this] { New1Click(); });
    add(tasks, "FileOpenDataFile", QStringLiteral("&Edit Data File..."),
        QKeySequence(Qt::CTRL | Qt::Key_E), [this] { FileOpenDataFileAccept(); });
    add(tasks, "FileOpenMonitorFile", QStringLiteral("&Start New Monitor..."),
        QKeySequence(Qt::CTRL | Qt::Key_S), [this] { FileOpenMonitorFileAccept(); });
    add(tasks, "MergeintoDataGrid1", QStringLiteral("&Insert into Data Grid..."),
        QKeySequence(Qt::CTRL | Qt::Key_M), nullptr);
    add(tasks, "DNSServerSpecification1", QStringLiteral("DNS Server Specification..."), {},
        [this] { DNSPage->GetDNSAddress1Click(); });
    add(tasks, "ExploreWebPages1", QStringLiteral("Explore Grid/Log Web Pages"), {},
        [this] { ActionIExploreWebPagesExecute(); });
    QAction* Exit2 = add(tasks, "Exit2", QStringLiteral("E&xit"), {}, [this] { Exit2Click(); });

    QMenu* mail = menuBar()->addMenu(QStringLiteral("&EMAIL Notification"));
    mail->setObjectName(QStringLiteral("EMAILNotification1"));
    QAction* ActionEMAILParameters =
        add(mail, "Parameters1", QStringLiteral("Parameters..."), {}, nullptr);
    QAction* ActionPushNotifications =
        add(mail, "PushNotifications1", QStringLiteral("Push Notifications..."), {}, nullptr);
    ActionHoldEMAIL =
        add(mail, "HoldEMAILNotification1", QStringLiteral("Hold EMAIL Notification"), {}, nullptr);
    ActionHoldEMAIL->setCheckable(true);
    QAction* ActionDisplayPendingEMAILS =
        add(mail, "DisplayPendingEMAILS1", QStringLiteral("Display Pending EMAILS"), {}, nullptr);
    QAction* ActionClearEMAILQueue =
        add(mail, "ClearEMAILNotificationQueue1",
            QStringLiteral("Clear EMAIL Notification Queue..."), {}, nullptr);
    DebugEMAIL1 = add(mail, "DebugEMAIL1", QStringLiteral("Debug &EMAIL"), {}, nullptr);
    DebugEMAIL1->setCheckable(true);

    // F1 on a highlighted entry opens the help at that entry's topic.
    const std::pair<QAction*, int> topics[] = {{ActionEMAILParameters, 100},
                                               {ActionPushNotifications, 105},
                                               {ActionHoldEMAIL, 110},
                                               {ActionDisplayPendingEMAILS, 120},
                                               {ActionClearEMAILQueue, 130},
                                               {DebugEMAIL1, 140},
                                               {Exit2, 160}};
    for (auto [action, context] : topics)
        action->setProperty("helpContext", context);
    tasks->setProperty("helpContext", 160);
    tasks->installEventFilter(this);
    mail->installEventFilter(this);

    QMenu* info = menuBar()->addMenu(QStringLiteral("&Info"));
    info->setObjectName(QStringLiteral("Info1"));
    add(info, "Help1", QStringLiteral("&Help"), QKeySequence(Qt::Key_F1), [this] { Help1Click(); });
    add(info, "Winsock1", QStringLiteral("&Winsock Information..."), {},
        [this] { Winsock1Click(); });
    add(info, "SessionInformation1", QStringLiteral("Session Information..."), {},
        [this] { SessoniInformation1Click(); });
    add(info, "AboutVelmora1", QStringLiteral("&About Velmora..."), {},
        [this] { AboutVelmora1Click(); });
}

void TForm1::buildTray() {
    TrayIcon1 = new TTrayIcon(this);
    connect(TrayIcon1, &TTrayIcon::RestoreRequested, this, [this] { Restore1Click(); });
    connect(TrayIcon1, &TTrayIcon::ExitRequested, this, [this] { Exit3Click(); });
}

void TForm1::setStatus(int panel, const QString& text) {
    QLabel* l = statbar[size_t(panel)];
    l->setText(text);
    l->setAccessibleName(panel == 0 ? QStringLiteral("Clock: ") + text : text);
}
