#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QSize>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QTabWidget;
class TDesktopNotifier;
class TDialogPrompts;
class TDNSResolverPage;
class TEMAILLog;
class TGridDelegate;
class TGridView;
class TMonitorLog;
class TMonitorSetupPage;
class TPingPage;
class TSession;
class TWebPageTab;
class TTrayIcon;

// The main window: builds the named widgets, binds them to the session and
// forwards the operator's commands. The session holds the state and the
// rules; the window asks it whether it may close.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        // Starting the socket layer; replaced by tests to make it fail.
        std::function<bool()> startSocketLayer;
        // The screen size the window is measured against; empty: the screen's.
        QSize screenSize;
        // Whether a completed close ends the event loop (tests keep it running).
        bool quitOnClose = true;
    };

    TForm1();
    explicit TForm1(Options options);
    ~TForm1() override;

    TSession& Session() const { return *session; }

    // A termination signal: any modal dialog is cancelled, then the window
    // closes through the close rule once that dialog's loop has returned.
    void TerminationRequested();
    static void CancelModalDialogs();

    // Handlers with their fixed names.
    void FormCreate();
    void FormResize();
    void Exit2Click();
    void Exit3Click();
    void Restore1Click();
    void Help1Click();
    void HelpContext(int context);
    void ButtonApplySettingsClick();
    void New1Click();
    void FileOpenDataFileAccept();
    void FileOpenMonitorFileAccept();
    // The clock tick (the session's): clock text, close retry, tray.
    void TimerTimeTimer();
    void StartTrayAnimation();
    bool TrayAnimating() const;
    void sgMouseUp(int column);
    void sgSelectCell(int column, int row);
    void Parameters1Click();
    void PushNotifications1Click();
    // "Explore Grid/Log Web Pages": the local index page in the browser.
    void ActionIExploreWebPagesExecute();
    void FileOpenWebBrowserAccept(const QString& browser);
    // Device editing: the three dialogs open without holding up the event
    // loop and are destroyed when they close.
    void ActionInsertGridDeviceExecute();
    void ActionEditGridDeviceExecute();
    void ActionDeleteGridDeviceExecute();
    void MergeintoDataGrid1Click();
    // The Info menu's dialogs: the two modal ones open without waiting for
    // them; every Session Information click opens another summary.
    void Winsock1Click();
    void SessoniInformation1Click();
    void AboutVelmora1Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildMenus();
    void buildTray();
    void buildGrid();
    void bindSession();
    void bindMail();
    void bindWeb();
    void bindEditing();
    void showEditDialog(QDialog* dialog);
    void showMonitorSettings();
    // The window's start-up steps, in the order FormCreate runs them.
    QSize sizeToScreen();
    void showStartUpSettings(const QSize& screenShare);
    void centreOnScreen();
    void clearGridSelection();
    void setStatus(int panel, const QString& text);
    void deviceWentDown(const QStringList& cells);
    void clockTicked();

    Options options;
    TSession* session = nullptr;
    std::unique_ptr<TDialogPrompts> dialogs;
    bool startingUp = true;

    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; // "Monitor Grid"
    QWidget* TabSheet5 = nullptr; // "EMAIL Log"
    QGroupBox* GroupBox1 = nullptr;
    TGridView* sg = nullptr;
    TGridDelegate* gridDelegate = nullptr;
    std::array<QLabel*, 3> statbar{};
    TMonitorLog* VelmoraMemo = nullptr;
    TEMAILLog* EMAILLog = nullptr;
    TDesktopNotifier* desktopNotifier = nullptr;
    TDNSResolverPage* DNSPage = nullptr;
    TMonitorSetupPage* MonitorSetup = nullptr;
    TPingPage* PingPage = nullptr;
    TWebPageTab* WebPage = nullptr;
    TTrayIcon* TrayIcon1 = nullptr;

    QAction* ActionHoldEMAIL = nullptr;
    QAction* DebugEMAIL1 = nullptr;
};
