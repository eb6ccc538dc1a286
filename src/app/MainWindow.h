#pragma once

#include "Settings.h"
#include "mail/AlertQueue.h"

#include <QIcon>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class TDNSResolverPage;
class TEMAILLog;
class TMailDelivery;
class TSMTPClient;
class TMonitorLog;
class QSystemTrayIcon;
class QTabWidget;
class TDeviceGrid;
class TGridView;
class TIniFile;
class TMonitorCycle;
class TMonitorSetupPage;
class TGridDelegate;

// What the socket layer reports about itself (shown by the information
// dialog).
struct TWinsockData {
    QString version;
    QString description;
    QString systemStatus;
    int maxSockets = 0;
    int maxUdpDatagram = 0;
};

// The main window: owns the shared state, builds the running system in a
// fixed order at start-up and takes it down again through one close rule.
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

    // Named parts of the window.
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; // "Monitor Grid"
    QWidget* TabSheet3 = nullptr; // "Monitor Log"
    QWidget* TabSheet2 = nullptr; // "Monitor Setup"
    QWidget* TabSheet4 = nullptr; // "Ping"
    QWidget* TabSheet5 = nullptr; // "EMAIL Log"
    QWidget* TabSheet6 = nullptr; // "DNS Resolver"
    QWidget* TabSheet7 = nullptr; // "Velmora Grid/Log Web Page"
    QGroupBox* GroupBox1 = nullptr;
    TDeviceGrid* grid = nullptr;
    TGridView* sg = nullptr;
    std::array<QLabel*, 3> statbar{};
    TMonitorLog* VelmoraMemo = nullptr;
    TEMAILLog* EMAILLog = nullptr;
    TDNSResolverPage* DNSPage = nullptr;
    TSMTPClient* smtp = nullptr;
    TMailDelivery* mailDelivery = nullptr;
    TMonitorSetupPage* MonitorSetup = nullptr;
    QSystemTrayIcon* TrayIcon1 = nullptr;
    QMenu* PopupTracIcon = nullptr;
    std::array<QIcon, 2> ImageList1;

    QTimer TimerTime;
    QTimer TimerPing;
    QTimer EMAILTimer;
    QTimer TimerSMTP;
    QTimer TimerSMTP2;
    TMonitorCycle* cycle = nullptr;

    QAction* ActionNew1 = nullptr;
    QAction* FileOpenDataFile = nullptr;
    QAction* FileOpenMonitorFile = nullptr;
    QAction* ActionInsert = nullptr;
    QAction* ActionDNSServerSpecification = nullptr;
    QAction* ActionExploreWebPages = nullptr;
    QAction* Exit2 = nullptr;
    QAction* ActionEMAILParameters = nullptr;
    QAction* ActionHoldEMAIL = nullptr;
    QAction* ActionDisplayPendingEMAILS = nullptr;
    QAction* ActionClearEMAILQueue = nullptr;
    QAction* DebugEMAIL1 = nullptr;
    QAction* Help1 = nullptr;
    QAction* Winsock1 = nullptr;
    QAction* SessionInformation1 = nullptr;
    QAction* AboutVelmora1 = nullptr;
    QMenu* PopupMenuVelmoraGrid = nullptr;
    QAction* ActionInsertGridDevice = nullptr;
    QAction* ActionEditGridDevice = nullptr;
    QAction* ActionDeleteGridDevice = nullptr;
    QAction* ActionVelmoraGridSelectAll = nullptr;
    QAction* ActionVelmoraGridCopy = nullptr;
    TGridDelegate* gridDelegate = nullptr;
    QAction* Restore1 = nullptr;
    QAction* Exit3 = nullptr;

    // Process state.
    bool startingUp = true;
    bool closePending = false;
    bool socketLayerStarted = false;
    bool closeAllowed = false; // set by FormClose once the close sequence has run
    QString datFile;
    QString localHostName;
    QString localHostIP;
    TWinsockData winsockData;
    QStringList notifyAddresses;
    TEmailSettings email;
    std::array<bool, 13> sortDirections{};
    TNotificationQueue queue;
    struct PendingSort {
        bool pending = false;
        int column = 0;
    } pendingSort;
    // A new monitor asked for while a device was probed.
    std::optional<QString> pendingMonitorPath;
    int selectedRow = 0;
    int trayTicks = 0;
    bool trayAnimating = false;

    TIniFile& Settings();
    QString HelpFilePath() const;

    // Handlers with their fixed names.
    void FormCreate();
    enum class CloseAction { None, Free };
    CloseAction FormClose();
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
    void StartNewMonitor(const QString& path);
    void TimerTimeTimer();
    void StartTrayAnimation();
    void LoadSettings();
    // The grid's handlers.
    void sgMouseUp(int column);
    void sgSelectCell(int column, int row);
    void PopupMenuVelmoraGridPopup();
    void ActionVelmoraGridSelectAllExecute();
    void ActionVelmoraGridCopyExecute();
    void SortByColumn(int column);
    // The monitoring cycle's calls into the window.
    void AppendMonitorLog(const QString& line);
    void EvaluateTransition(int row, bool succeeded, const QDateTime& t);
    void RunDeferredRequests();
    // The e-mail menu.
    void Parameters1Click();
    void SaveMonitorSettingsFromControls();

    QString clockText;

    // Runs a handler; an error escaping it is shown by the standard error
    // display and the rest of the handler is skipped.
    static void Guarded(const std::function<void()>& handler);
    static void ShowError(const QString& text);

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
    void buildMail();
    void wireCycle();
    // Sorts every device row by `column` in its direction, then flips it.
    void sortColumn(int column);
    void setStatus(int panel, const QString& text);
    void applyIntervals();
    void closeSequence();
    void resumeAfterFailedClose();

    Options options;
    std::unique_ptr<TIniFile> ini;
    QTimer trayFlipTimer;
    int trayImage = 0;
};
