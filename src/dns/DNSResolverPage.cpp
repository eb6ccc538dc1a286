#include "dns/DNSResolverPage.h"

#include "dns/DNSSettings.h"

#include "dns/DNSThread.h"
#include "platform/ErrorGuard.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "platform/Prompts.h"
#include "platform/TextRules.h"
#include "platform/VelmoraError.h"
#include "ui/LogPane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Replaces a combo box's items and keeps the text shown in its edit box.
void SetItems(QComboBox* box, const QStringList& items) {
    const QString shown = box->currentText();
    const QSignalBlocker block(box);
    box->clear();
    box->addItems(items);
    box->setEditText(shown);
}

void ShowFirst(QComboBox* box) {
    if (box->count() > 0)
        box->setCurrentIndex(0);
    else
        box->setEditText(QString());
}

QLabel* BuddyLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TDNSResolverPage::TDNSResolverPage(TDNSLists& lists, std::function<TIniFile&()> settingsFile,
                                   QWidget* parent)
    : QWidget(parent), settings(std::move(settingsFile)), servers(lists.servers),
      queries(lists.queries), lists(lists) {
    setObjectName(QStringLiteral("TDNSResolverPage"));
    buildControls();
    buildLogMenu();
}

TDNSResolverPage::~TDNSResolverPage() {
    // A worker still waiting for its server ends by itself within its
    // time-out and deletes itself; it only loses its receiver here.
    for (const QPointer<TDNSThread>& t : workers)
        if (t) {
            t->RequestTerminate();
            disconnect(t, nullptr, this, nullptr);
        }
}

void TDNSResolverPage::buildControls() {
    GroupBoxQueryParameters = new QGroupBox(QStringLiteral("Query Parameters"), this);
    GroupBoxOptions = new QGroupBox(QStringLiteral("Options"), this);
    GroupBoxDNSResults = new QGroupBox(QStringLiteral("DNS Results"), this);

    ComboBoxDNSQuery = new QComboBox;
    ComboBoxDNSQuery->setObjectName(QStringLiteral("ComboBoxDNSQuery"));
    ComboBoxDNSQuery->setEditable(true);
    ComboBoxDNSQuery->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxDNSQuery->setMaxVisibleItems(kDNSHistoryLimit);

    ComboBoxDNS = new QComboBox;
    ComboBoxDNS->setObjectName(QStringLiteral("ComboBoxDNS"));
    ComboBoxDNS->addItems(DNSTypeOfSearchItems());
    ComboBoxDNS->setCurrentIndex(0); // "Address - Address"

    ComboBoxDNSServer = new QComboBox;
    ComboBoxDNSServer->setObjectName(QStringLiteral("ComboBoxDNSServer"));
    ComboBoxDNSServer->setEditable(true);
    ComboBoxDNSServer->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxDNSServer->setMaxVisibleItems(kDNSHistoryLimit);

    SpeedButtonDeleteDnsServer = new QToolButton;
    SpeedButtonDeleteDnsServer->setObjectName(QStringLiteral("SpeedButtonDeleteDnsServer"));
    SpeedButtonDeleteDnsServer->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    SpeedButtonDeleteDnsServer->setToolTip(QStringLiteral("Delete displayed DNS Server from list"));
    SpeedButtonDeleteDnsServer->setAccessibleName(
        QStringLiteral("Delete displayed DNS Server from list"));

    ButtonRunDns = new QPushButton(QStringLiteral("Go"));
    ButtonRunDns->setObjectName(QStringLiteral("ButtonRunDns"));

    auto* query = new QGridLayout(GroupBoxQueryParameters);
    query->addWidget(
        BuddyLabel(QStringLiteral("Host Name or IP Address to Resolve"), ComboBoxDNSQuery), 0, 0, 1,
        2);
    query->addWidget(ComboBoxDNSQuery, 1, 0, 1, 2);
    query->addWidget(BuddyLabel(QStringLiteral("Type of Search"), ComboBoxDNS), 2, 0, 1, 2);
    query->addWidget(ComboBoxDNS, 3, 0, 1, 2);
    query->addWidget(BuddyLabel(QStringLiteral("DNS Server to Use"), ComboBoxDNSServer), 4, 0, 1,
                     2);
    query->addWidget(ComboBoxDNSServer, 5, 0);
    query->addWidget(SpeedButtonDeleteDnsServer, 5, 1);
    query->addWidget(ButtonRunDns, 6, 0, 1, 2, Qt::AlignLeft);
    query->setColumnStretch(0, 1);

    CheckBoxDNSRecursive = new QCheckBox(QStringLiteral("Recursive Lookup"));
    CheckBoxDNSRecursive->setObjectName(QStringLiteral("CheckBoxDNSRecursive"));
    CheckBoxDNSRecursive->setChecked(true);
    CheckBoxDNSClearWindow = new QCheckBox(QStringLiteral("Clear Window"));
    CheckBoxDNSClearWindow->setObjectName(QStringLiteral("CheckBoxDNSClearWindow"));
    CheckBoxDNSClearWindow->setChecked(true);
    // A spin box takes only whole numbers in range, so the time-out text can
    // never be anything else.
    EditDNSTimeout = new QSpinBox;
    EditDNSTimeout->setObjectName(QStringLiteral("EditDNSTimeout"));
    EditDNSTimeout->setRange(1, 20);
    EditDNSTimeout->setValue(5);
    SpeedButton5 = new QToolButton;
    SpeedButton5->setObjectName(QStringLiteral("SpeedButton5"));
    SpeedButton5->setText(QStringLiteral("?"));
    SpeedButton5->setToolTip(QStringLiteral("Help"));
    SpeedButton5->setAccessibleName(QStringLiteral("Help"));

    auto* options = new QGridLayout(GroupBoxOptions);
    options->addWidget(CheckBoxDNSRecursive, 0, 0, 1, 3);
    options->addWidget(CheckBoxDNSClearWindow, 1, 0, 1, 3);
    options->addWidget(BuddyLabel(QStringLiteral("Timeout"), EditDNSTimeout), 2, 0);
    options->addWidget(EditDNSTimeout, 2, 1);
    options->addWidget(SpeedButton5, 2, 2);
    options->setRowStretch(3, 1);

    DNSMemo = new TLogPane;
    DNSMemo->setObjectName(QStringLiteral("DNSMemo"));
    DNSMemo->setAccessibleName(QStringLiteral("DNS Results"));
    DNSMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DNSMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* results = new QVBoxLayout(GroupBoxDNSResults);
    results->addWidget(DNSMemo);

    auto* top = new QHBoxLayout;
    top->addWidget(GroupBoxQueryParameters, 2);
    top->addWidget(GroupBoxOptions, 1);
    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addWidget(GroupBoxDNSResults, 1);

    connect(ButtonRunDns, &QPushButton::clicked, this, [this] { ButtonRunDnsClick(); });
    connect(SpeedButtonDeleteDnsServer, &QToolButton::clicked, this,
            [this] { SpeedButtonDeleteDnsServerClick(); });
    connect(SpeedButton5, &QToolButton::clicked, this,
            [this] { emit helpRequested(kHelpContext); });
    for (QComboBox* box : {ComboBoxDNSQuery, ComboBoxDNSServer}) {
        box->installEventFilter(this);
        box->lineEdit()->installEventFilter(this);
    }
}

void TDNSResolverPage::buildLogMenu() {
    PopupMenuDNSLog = new QMenu(this);
    PopupMenuDNSLog->setObjectName(QStringLiteral("PopupMenuDNSLog"));
    QAction* cut =
        PopupMenuDNSLog->addAction(QStringLiteral("Cu&t"), DNSMemo, &QPlainTextEdit::cut);
    cut->setShortcut(QKeySequence::Cut);
    QAction* copy =
        PopupMenuDNSLog->addAction(QStringLiteral("&Copy"), DNSMemo, &QPlainTextEdit::copy);
    copy->setShortcut(QKeySequence::Copy);
    QAction* all = PopupMenuDNSLog->addAction(QStringLiteral("Select &All"), DNSMemo,
                                              &QPlainTextEdit::selectAll);
    all->setShortcut(QKeySequence::SelectAll);
    ActionClearDNSLog = PopupMenuDNSLog->addAction(QStringLiteral("Clear..."), this,
                                                   [this] { ActionClearDNSLogExecute(); });
    ActionClearDNSLog->setObjectName(QStringLiteral("ActionClearDNSLog"));
    FileOpenDNSLog = PopupMenuDNSLog->addAction(QStringLiteral("&Open..."), this,
                                                [this] { FileOpenDNSLogAccept(); });
    FileOpenDNSLog->setObjectName(QStringLiteral("FileOpenDNSLog"));
    FileSaveAsDNSLog = PopupMenuDNSLog->addAction(QStringLiteral("Save &As..."), this,
                                                  [this] { FileSaveAsDNSLogAccept(); });
    FileSaveAsDNSLog->setObjectName(QStringLiteral("FileSaveAsDNSLog"));

    DNSMemo->SetPopupMenu(PopupMenuDNSLog);
}

bool TDNSResolverPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == ComboBoxDNSQuery || watched == ComboBoxDNSQuery->lineEdit()) {
                ComboBoxDNSQueryKeyPress();
                return true;
            }
            if (watched == ComboBoxDNSServer || watched == ComboBoxDNSServer->lineEdit()) {
                ComboBoxDNSServerKeyPress();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TDNSResolverPage::appendLog(const QString& line) {
    DNSMemo->AppendLine(line);
}

void TDNSResolverPage::RefreshLists() {
    SetItems(ComboBoxDNSServer, servers);
    SetItems(ComboBoxDNSQuery, queries);
}

void TDNSResolverPage::ShowLists() {
    SetItems(ComboBoxDNSServer, servers);
    SetItems(ComboBoxDNSQuery, queries);
    ShowFirst(ComboBoxDNSServer);
    ShowFirst(ComboBoxDNSQuery);
}

void TDNSResolverPage::SaveDNSLists() {
    lists.Write(settings());
}

QString TDNSResolverPage::ShownServer() const {
    return ComboBoxDNSServer->currentText();
}

bool TDNSResolverPage::AddToServerList(const QString& server) {
    if (!AddToRecentList(servers, server, kDNSHistoryLimit))
        return false;
    SetItems(ComboBoxDNSServer, servers);
    return true;
}

void TDNSResolverPage::showFirstServer() {
    ShowFirst(ComboBoxDNSServer);
}

void TDNSResolverPage::ButtonRunDnsClick() {
    ::Guarded([this] {
        if (runFlag == 1) {
            if (worker)
                worker->RequestTerminate();
            runFlag = 0;
            appendLog(QStringLiteral(":::DNS Aborted by User."));
            ButtonRunDns->setText(QStringLiteral("Go"));
            return;
        }
        if (CheckBoxDNSClearWindow->isChecked())
            DNSMemo->Model().Clear();
        const QString server = ComboBoxDNSServer->currentText();
        if (server.isEmpty()) {
            appendLog(QStringLiteral(":::No DNS Server Address Specified."));
            ButtonRunDns->setText(QStringLiteral("Go"));
            return;
        }
        const QString query = ComboBoxDNSQuery->currentText();
        if (query.isEmpty())
            return;
        if (AddToRecentList(queries, query, kDNSHistoryLimit)) {
            SetItems(ComboBoxDNSQuery, queries);
            SaveDNSLists();
        }

        TDNSQueryParams params;
        params.Server = server;
        params.Port = serverPort;
        params.Query = query;
        params.Recursive = CheckBoxDNSRecursive->isChecked();
        params.TimeOut = EditDNSTimeout->value();
        params.QueryType = DNSQueryTypeOfSearch(ComboBoxDNS->currentText());

        runFlag = 1;
        ButtonRunDns->setText(QStringLiteral("Stop"));
        auto* thread = new TDNSThread(params);
        const QPointer<TDNSThread> guard(thread);
        connect(thread, &TDNSThread::Finished, this,
                [this, guard](bool resolved, const QStringList& lines) {
                    workerFinished(guard, resolved, lines);
                });
        worker = thread;
        workers.removeIf([](const QPointer<TDNSThread>& t) { return t.isNull(); });
        workers.append(guard);
        thread->start();
    });
}

void TDNSResolverPage::workerFinished(const QPointer<TDNSThread>& thread, bool resolved,
                                      const QStringList& lines) {
    if (resolved) {
        for (const QString& line : lines)
            appendLog(line);
    } else if (thread && !thread->TerminateRequested()) {
        appendLog(QStringLiteral(":::Error Resolving: ") + ComboBoxDNSQuery->currentText());
    }
    // A worker left behind by Stop does not end the query started after it.
    if (thread == worker) {
        runFlag = 0;
        ButtonRunDns->setText(QStringLiteral("Go"));
    }
}

void TDNSResolverPage::ComboBoxDNSQueryKeyPress() {
    ButtonRunDnsClick();
}

void TDNSResolverPage::ComboBoxDNSServerKeyPress() {
    ::Guarded([this] {
        const QString shown = ComboBoxDNSServer->currentText();
        // An empty entry would only be a blank line in the list.
        if (!shown.isEmpty())
            AddToServerList(shown);
        SaveDNSLists();
    });
}

void TDNSResolverPage::SpeedButtonDeleteDnsServerClick() {
    ::Guarded([this] {
        if (!Prompts().AskYesNo(QStringLiteral("Are you sure ?"),
                                QStringLiteral("Remove DNS Entry")))
            return;
        const qsizetype at = servers.indexOf(ComboBoxDNSServer->currentText());
        if (at >= 0) {
            servers.removeAt(at);
            SetItems(ComboBoxDNSServer, servers);
        }
        showFirstServer();
        SaveDNSLists();
    });
}

void TDNSResolverPage::GetDNSAddress1Click() {
    ::Guarded([this] {
        const std::optional<QString> entered = AskForDNSServer(Prompts());
        if (!entered)
            return;
        if (!entered->isEmpty())
            AddToServerList(*entered);
        showFirstServer();
        SaveDNSLists();
    });
}

void TDNSResolverPage::PromptForServerIfNone() {
    if (servers.isEmpty())
        GetDNSAddress1Click();
}

void TDNSResolverPage::ActionClearDNSLogExecute() {
    DNSMemo->ClearWithQuestion();
}

void TDNSResolverPage::FileOpenDNSLogAccept() {
    DNSMemo->RunCommand([this] { DNSMemo->OpenInEditor(QStringLiteral("Open DNS Log")); });
}

void TDNSResolverPage::FileSaveAsDNSLogAccept() {
    DNSMemo->RunCommand([this] { DNSMemo->SaveAs(QStringLiteral("Save DNS Log")); });
}
