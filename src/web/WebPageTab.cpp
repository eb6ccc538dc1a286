#include "WebPageTab.h"

#include "Publisher.h"
#include "platform/ErrorGuard.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

TTransferLog::TTransferLog(QWidget* parent) : TLogPane(parent) {
    setObjectName(QStringLiteral("TransferMemo"));
    setAccessibleName(QStringLiteral("Transfer Log"));
    PopupMenuTransferLog = new QMenu(this);
    PopupMenuTransferLog->setObjectName(QStringLiteral("PopupMenuTransferLog"));
    auto add = [this](const char* name, const QString& caption, const QKeySequence& keys,
                      std::function<void()> command) {
        return AddCommand(PopupMenuTransferLog, name, caption, keys, std::move(command));
    };
    EditCutTransferLog = add("EditCutTransferLog", QStringLiteral("Cu&t"),
                             QKeySequence(Qt::CTRL | Qt::Key_X), [this] { cut(); });
    EditCopyTransferLog = add("EditCopyTransferLog", QStringLiteral("&Copy"),
                              QKeySequence(Qt::CTRL | Qt::Key_C), [this] { copy(); });
    EditSelectAllTransferLog = add("EditSelectAllTransferLog", QStringLiteral("Select &All"),
                                   QKeySequence(Qt::CTRL | Qt::Key_A), [this] { selectAll(); });
    ActionClearTransferLog = add("ActionClearTransferLog", QStringLiteral("Clear Log..."), {},
                                 [this] { ClearWithQuestion(); });
    FileOpenTransferLog =
        add("FileOpenTransferLog", QStringLiteral("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O),
            [this] { OpenInEditor(QStringLiteral("Open Transfer Log")); });
    FileSaveAsTransferLog = add("FileSaveAsTransferLog", QStringLiteral("Save &As..."), {},
                                [this] { SaveAs(QStringLiteral("Save Transfer Log")); });
    EnableWithSelection(EditCutTransferLog, EditCopyTransferLog);
    SetPopupMenu(PopupMenuTransferLog);
}

namespace {

template <class W> W* named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

QToolButton* toolButton(const char* name, const QString& text, const QString& hint) {
    auto* b = named(new QToolButton, name);
    b->setText(text);
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    return b;
}

} // namespace

TWebPageTab::TWebPageTab(TPublisher& p, QWidget* parent) : QWidget(parent), publisher(p) {
    setObjectName(QStringLiteral("WebPage"));
    auto* layout = new QVBoxLayout(this);
    auto label = [](const QString& caption, QWidget* buddy) {
        auto* l = new QLabel(caption);
        l->setBuddy(buddy);
        return l;
    };

    // The schedule.
    CheckBoxVelmoraWebPage = named(new QCheckBox(QStringLiteral("Output Velmora Grid to Web Page")),
                                   "CheckBoxVelmoraWebPage");
    EditWebPageHours = named(new QSpinBox, "EditWebPageHours");
    EditWebPageHours->setRange(0, 23);
    EditWebPageHours->setAccessibleName(QStringLiteral("Every hours"));
    EditWebPageMin = named(new QSpinBox, "EditWebPageMin");
    EditWebPageMin->setRange(0, 59);
    EditWebPageMin->setAccessibleName(QStringLiteral("minutes"));
    auto* schedule = new QHBoxLayout;
    schedule->addWidget(CheckBoxVelmoraWebPage);
    schedule->addWidget(label(QStringLiteral("Every"), EditWebPageHours));
    schedule->addWidget(EditWebPageHours);
    schedule->addWidget(label(QStringLiteral("hours"), EditWebPageMin));
    schedule->addWidget(EditWebPageMin);
    schedule->addWidget(label(QStringLiteral("minutes"), EditWebPageMin));
    schedule->addStretch();
    layout->addLayout(schedule);

    // FTP.
    auto* ftpGroup = named(new QGroupBox, "GroupBoxFTP");
    auto* ftp = new QGridLayout(ftpGroup);
    CheckBoxWebPageFTP =
        named(new QCheckBox(QStringLiteral("Use FTP to Transfer Web Page")), "CheckBoxWebPageFTP");
    EditWebPageFTPHost = named(new QLineEdit, "EditWebPageFTPHost");
    EditWebPageFTPPort = named(new QLineEdit, "EditWebPageFTPPort");
    // Five digits hold every port; the run still checks the number.
    EditWebPageFTPPort->setMaxLength(5);
    EditWebPageFTPPort->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,5}")), EditWebPageFTPPort));
    EditWebPageFTPFolder = named(new QLineEdit, "EditWebPageFTPFolder");
    CheckBoxAnonymousAccount = named(new QCheckBox(QStringLiteral("Use FTP Anonymous Account")),
                                     "CheckBoxAnonymousAccount");
    EditWebPageFTPUserID = named(new QLineEdit, "EditWebPageFTPUserID");
    EditWebPageFTPPassword = named(new QLineEdit, "EditWebPageFTPPassword");
    EditWebPageFTPPassword->setEchoMode(QLineEdit::Password);
    ftp->addWidget(CheckBoxWebPageFTP, 0, 0, 1, 4);
    ftp->addWidget(label(QStringLiteral("Host/IP:"), EditWebPageFTPHost), 1, 0);
    ftp->addWidget(EditWebPageFTPHost, 1, 1);
    ftp->addWidget(label(QStringLiteral("Port:"), EditWebPageFTPPort), 1, 2);
    ftp->addWidget(EditWebPageFTPPort, 1, 3);
    ftp->addWidget(label(QStringLiteral("Host Folder:"), EditWebPageFTPFolder), 2, 0);
    ftp->addWidget(EditWebPageFTPFolder, 2, 1, 1, 3);
    ftp->addWidget(CheckBoxAnonymousAccount, 3, 0, 1, 4);
    ftp->addWidget(label(QStringLiteral("User ID:"), EditWebPageFTPUserID), 4, 0);
    ftp->addWidget(EditWebPageFTPUserID, 4, 1, 1, 3);
    ftp->addWidget(label(QStringLiteral("Password:"), EditWebPageFTPPassword), 5, 0);
    ftp->addWidget(EditWebPageFTPPassword, 5, 1, 1, 3);
    layout->addWidget(ftpGroup);

    // Copy to a folder.
    auto* copyGroup = named(new QGroupBox, "GroupBoxLocalDrive");
    auto* copy = new QGridLayout(copyGroup);
    CheckBoxWebPageLocalDrive =
        named(new QCheckBox(QStringLiteral("Copy Web Page to Local/Network Drive")),
              "CheckBoxWebPageLocalDrive");
    EditWebPageDrivePath = named(new QLineEdit, "EditWebPageDrivePath");
    EditWebPageDrivePath->setMaxLength(512);
    SpeedButton1 = toolButton("SpeedButton1", QStringLiteral("..."),
                              QStringLiteral("Click to Select a Drive:\\Path"));
    copy->addWidget(CheckBoxWebPageLocalDrive, 0, 0, 1, 3);
    copy->addWidget(label(QStringLiteral("Drive:\\Path:"), EditWebPageDrivePath), 1, 0);
    copy->addWidget(EditWebPageDrivePath, 1, 1);
    copy->addWidget(SpeedButton1, 1, 2);
    layout->addWidget(copyGroup);

    // Commands.
    ButtonWebPageTransferFile =
        named(new QPushButton(QStringLiteral("Create Now")), "ButtonWebPageTransferFile");
    ButtonApplyWebPage = named(new QPushButton(QStringLiteral("Apply")), "ButtonApplyWebPage");
    SpeedButtonWebPageHelp =
        toolButton("SpeedButtonWebPageHelp", QStringLiteral("?"), QStringLiteral("Help"));
    SpeedButton6 = toolButton("SpeedButton6", QStringLiteral("Explore"),
                              QStringLiteral("Explore Grid/Log Web Pages"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonWebPageTransferFile);
    buttons->addWidget(ButtonApplyWebPage);
    buttons->addWidget(SpeedButton6);
    buttons->addWidget(SpeedButtonWebPageHelp);
    buttons->addStretch();
    layout->addLayout(buttons);

    auto* logGroup = named(new QGroupBox(QStringLiteral("Transfer Log")), "GroupBoxTransferLog");
    auto* logLayout = new QVBoxLayout(logGroup);
    TransferMemo = new TTransferLog(logGroup);
    TransferMemo->SetModel(&publisher.TransferLog());
    logLayout->addWidget(TransferMemo);
    layout->addWidget(logGroup, 1);

    ShowBoxes();

    for (QLineEdit* e : {EditWebPageFTPHost, EditWebPageFTPPort, EditWebPageFTPFolder,
                         EditWebPageFTPUserID, EditWebPageFTPPassword, EditWebPageDrivePath})
        connect(e, &QLineEdit::textChanged, this, &TWebPageTab::edited);
    for (QSpinBox* s : {EditWebPageHours, EditWebPageMin})
        connect(s, &QSpinBox::textChanged, this, &TWebPageTab::edited);
    for (QCheckBox* c : {CheckBoxWebPageFTP, CheckBoxWebPageLocalDrive})
        connect(c, &QCheckBox::toggled, this, &TWebPageTab::edited);
    // Any click counts, ticking or clearing.
    connect(CheckBoxVelmoraWebPage, &QCheckBox::clicked, this,
            [this](bool on) { publisher.CheckBoxVelmoraWebPageClick(on); });
    connect(CheckBoxAnonymousAccount, &QCheckBox::clicked, this,
            [this](bool on) { publisher.CheckBoxAnonymousAccountClick(on); });
    connect(&publisher, &TPublisher::BoxesChanged, this, &TWebPageTab::ShowBoxes);

    // A run in progress is not started twice: the button waits for its end.
    connect(ButtonWebPageTransferFile, &QPushButton::clicked, this, [this] {
        Guarded([this] { publisher.ButtonWebPageTransferFileClick(); });
        ButtonWebPageTransferFile->setEnabled(!publisher.Running());
    });
    connect(ButtonApplyWebPage, &QPushButton::clicked, this, &TWebPageTab::applyClicked);
    connect(SpeedButtonWebPageHelp, &QToolButton::clicked, this, &TWebPageTab::helpClicked);
    connect(SpeedButton6, &QToolButton::clicked, this, &TWebPageTab::exploreClicked);
    connect(SpeedButton1, &QToolButton::clicked, this, &TWebPageTab::SpeedButton1Click);
    connect(&publisher, &TPublisher::RunEnded, this,
            [this] { ButtonWebPageTransferFile->setEnabled(true); });
}

void TWebPageTab::ShowBoxes() {
    const TWebPageSettings& b = publisher.Boxes();
    showing = true;
    CheckBoxVelmoraWebPage->setChecked(b.publish);
    EditWebPageHours->setValue(b.hours.toInt());
    EditWebPageMin->setValue(b.minutes.toInt());
    CheckBoxWebPageFTP->setChecked(b.useFtp);
    // setText moves the cursor to the end; only change what differs.
    auto set = [](QLineEdit* e, const QString& t) {
        if (e->text() != t)
            e->setText(t);
    };
    set(EditWebPageFTPHost, b.ftpHost);
    set(EditWebPageFTPPort, b.ftpPort);
    set(EditWebPageFTPFolder, b.ftpFolder);
    CheckBoxAnonymousAccount->setChecked(b.anonymous);
    set(EditWebPageFTPUserID, b.ftpUser);
    set(EditWebPageFTPPassword, b.ftpPassword);
    CheckBoxWebPageLocalDrive->setChecked(b.copyToDrive);
    set(EditWebPageDrivePath, b.drivePath);
    showing = false;
}

void TWebPageTab::edited() {
    if (showing)
        return;
    TWebPageSettings& b = publisher.Boxes();
    b.hours = EditWebPageHours->text();
    b.minutes = EditWebPageMin->text();
    b.useFtp = CheckBoxWebPageFTP->isChecked();
    b.ftpHost = EditWebPageFTPHost->text();
    b.ftpPort = EditWebPageFTPPort->text();
    b.ftpFolder = EditWebPageFTPFolder->text();
    b.ftpUser = EditWebPageFTPUserID->text();
    b.ftpPassword = EditWebPageFTPPassword->text();
    b.copyToDrive = CheckBoxWebPageLocalDrive->isChecked();
    b.drivePath = EditWebPageDrivePath->text();
}

void TWebPageTab::SpeedButton1Click() {
    // Drive\Path Selection: a folder chooser with OK and Cancel, opened
    // without a nested event loop.
    auto* dlg = new QFileDialog(window(), QStringLiteral("Drive\\Path Selection"));
    dlg->setObjectName(QStringLiteral("DlgDrivePathSelect"));
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setFileMode(QFileDialog::Directory);
    dlg->setOption(QFileDialog::ShowDirsOnly);
    dlg->setOption(QFileDialog::DontUseNativeDialog);
    dlg->setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
    dlg->setLabelText(QFileDialog::Reject, QStringLiteral("Cancel"));
    const QString current = EditWebPageDrivePath->text().trimmed();
    if (!current.isEmpty())
        dlg->setDirectory(current);
    connect(dlg, &QFileDialog::fileSelected, this,
            [this](const QString& folder) { EditWebPageDrivePath->setText(folder); });
    dlg->open();
}
