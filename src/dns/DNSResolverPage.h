#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QMenu;
class QPushButton;
class QSpinBox;
class QToolButton;
class QAction;
class TDNSThread;
class TIniFile;
class TLogPane;
struct TDNSLists;

// The "DNS Resolver" tab: one query of a chosen type to a chosen server, the
// decoded answer in the DNS log, and the recent server and query lists kept
// in the settings file. The query runs on a TDNSThread; everything that
// touches a control happens here, on the GUI thread.
class TDNSResolverPage : public QWidget {
    Q_OBJECT
public:
    // The page shows and edits `lists` (the session's); `settings` gives the
    // settings file each time they are saved.
    TDNSResolverPage(TDNSLists& lists, std::function<TIniFile&()> settings,
                     QWidget* parent = nullptr);
    ~TDNSResolverPage() override;

    // Start-up: fills both combo boxes from the lists and shows the first
    // entry of each.
    void ShowLists();
    // The lists changed elsewhere: new items, the shown texts kept.
    void RefreshLists();
    // Start-up: asks for a server when the server list is empty.
    void PromptForServerIfNone();

    // What the SMTP client and the e-mail dialog use.
    QString ShownServer() const;
    QStringList ServerList() const { return servers; }
    int ServerCount() const { return int(servers.size()); }
    // "Add to recent list" on the server list; true when it changed.
    bool AddToServerList(const QString& server);
    QStringList QueryList() const { return queries; }

    // Handlers with their fixed names.
    void ButtonRunDnsClick();
    void ComboBoxDNSQueryKeyPress();
    void ComboBoxDNSServerKeyPress();
    void SpeedButtonDeleteDnsServerClick();
    void GetDNSAddress1Click(); // Tasks menu "DNS Server Specification..."
    void ActionClearDNSLogExecute();
    void FileOpenDNSLogAccept();
    void FileSaveAsDNSLogAccept();
    // Erases and rewrites both list sections.
    void SaveDNSLists();

    bool QueryRunning() const { return runFlag == 1; }

    // The UDP port queries go to; tests point it at a server of their own.
    void SetServerPort(quint16 port) { serverPort = port; }

    QGroupBox* GroupBoxQueryParameters;
    QGroupBox* GroupBoxOptions;
    QGroupBox* GroupBoxDNSResults;
    QComboBox* ComboBoxDNSQuery;
    QComboBox* ComboBoxDNS;
    QComboBox* ComboBoxDNSServer;
    QToolButton* SpeedButtonDeleteDnsServer;
    QPushButton* ButtonRunDns;
    QCheckBox* CheckBoxDNSRecursive;
    QCheckBox* CheckBoxDNSClearWindow;
    QSpinBox* EditDNSTimeout; // the edit box and its up-down (UpDown5) in one
    QToolButton* SpeedButton5;
    TLogPane* DNSMemo;
    QMenu* PopupMenuDNSLog;
    QAction* ActionClearDNSLog;
    QAction* FileOpenDNSLog;
    QAction* FileSaveAsDNSLog;

    static constexpr int kHelpContext = 350;

signals:
    // SpeedButton5: open the help file at this context.
    void helpRequested(int context);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildLogMenu();
    void appendLog(const QString& line);
    void workerFinished(const QPointer<TDNSThread>& thread, bool resolved,
                        const QStringList& lines);
    void showFirstServer();

    std::function<TIniFile&()> settings;
    QStringList& servers;
    QStringList& queries;
    TDNSLists& lists;
    int runFlag = 0; // the run flag: 1 while a query runs
    QPointer<TDNSThread> worker;
    QList<QPointer<TDNSThread>> workers; // every worker still running
    quint16 serverPort = 53;
};
