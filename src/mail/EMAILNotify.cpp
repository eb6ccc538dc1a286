#include "EMAILNotify.h"

#include "mail/MailDelivery.h"
#include "platform/ErrorGuard.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "platform/VelmoraError.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// A number box that only its arrows change.
class TArrowSpinBox : public QSpinBox {
public:
    TArrowSpinBox(const char* name, int maximum) {
        setObjectName(QLatin1String(name));
        setRange(0, maximum);
        lineEdit()->setReadOnly(true);
    }
};

const QString kTestCaption = QStringLiteral("EMAIL Test");

} // namespace

TEMAILNotify::TEMAILNotify(TEMAILNotifyContext context, QWidget* parent)
    : QDialog(parent), ctx(std::move(context)) {
    setObjectName(QStringLiteral("EMAILNotify"));
    setWindowTitle(QStringLiteral("EMAIL Notification"));
    buildControls();
    FormCreate();
}

void TEMAILNotify::buildControls() {
    Edit1 = new QLineEdit;
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setTabChangesFocus(true);
    ComboPriority = new QComboBox;
    ComboPriority->setObjectName(QStringLiteral("ComboPriority"));
    ComboPriority->addItems({QStringLiteral("No Sites"), QStringLiteral("Critical Sites"),
                             QStringLiteral("All Sites")});
    Edit3 = new QLineEdit;
    Edit3->setObjectName(QStringLiteral("Edit3"));
    Edit4 = new QLineEdit;
    Edit4->setObjectName(QStringLiteral("Edit4"));
    CheckBox1 = new QCheckBox;
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    EditPort = new QSpinBox;
    EditPort->setObjectName(QStringLiteral("EditPort"));
    EditPort->setRange(1, 65535);
    ComboSecurity = new QComboBox;
    ComboSecurity->setObjectName(QStringLiteral("ComboSecurity"));
    for (TMailSecurity security :
         {TMailSecurity::None, TMailSecurity::StartTls, TMailSecurity::Tls})
        ComboSecurity->addItem(MailSecurityText(security), int(security));
    EditUser = new QLineEdit;
    EditUser->setObjectName(QStringLiteral("EditUser"));
    EditPassword = new QLineEdit;
    EditPassword->setObjectName(QStringLiteral("EditPassword"));
    EditPassword->setEchoMode(QLineEdit::Password);
    UpDownHours = new TArrowSpinBox("EditHours", 23);
    UpDownMinutes = new TArrowSpinBox("EditMinutes", 59);
    CheckBox2 = new QCheckBox;
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));

    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const QString& caption, QWidget* control, bool required,
                      QWidget* field = nullptr) {
        auto* label = new QLabel(caption);
        label->setBuddy(control);
        grid->addWidget(label, row, 0, Qt::AlignRight | Qt::AlignTop);
        if (required) {
            auto* mark = new QLabel(QStringLiteral("*"));
            mark->setObjectName(QStringLiteral("RequiredMark%1").arg(row));
            grid->addWidget(mark, row, 1, Qt::AlignTop);
        }
        grid->addWidget(field ? field : control, row, 2);
        ++row;
        return label;
    };
    addRow(QStringLiteral("Your EMAIL Address:"), Edit1, true);
    auto* memoBox = new QWidget;
    auto* memoLayout = new QVBoxLayout(memoBox);
    memoLayout->setContentsMargins(0, 0, 0, 0);
    memoLayout->addWidget(Memo1);
    memoLayout->addWidget(new QLabel(QStringLiteral("One address per line")));
    addRow(QStringLiteral("Addresses to Notify:"), Memo1, true, memoBox);
    addRow(QStringLiteral("Notify On:"), ComboPriority, false);
    addRow(QStringLiteral("DNS Server IP or Host Name:"), Edit3, true);
    addRow(QStringLiteral("MX Server IP or Host Name:"), Edit4, false);
    addRow(QStringLiteral("Use MX Server:"), CheckBox1, false);
    addRow(QStringLiteral("Port:"), EditPort, false);
    addRow(QStringLiteral("Security:"), ComboSecurity, false);
    addRow(QStringLiteral("User:"), EditUser, false);
    addRow(QStringLiteral("Password:"), EditPassword, false);
    auto* delay = new QWidget;
    auto* delayLayout = new QHBoxLayout(delay);
    delayLayout->setContentsMargins(0, 0, 0, 0);
    delayLayout->addWidget(UpDownHours);
    auto* hrs = new QLabel(QStringLiteral("hrs."));
    hrs->setBuddy(UpDownHours);
    delayLayout->addWidget(hrs);
    delayLayout->addWidget(UpDownMinutes);
    auto* minutes = new QLabel(QStringLiteral("minutes"));
    minutes->setBuddy(UpDownMinutes);
    delayLayout->addWidget(minutes);
    delayLayout->addStretch();
    addRow(QStringLiteral("EMAIL Notification Delay:"), UpDownHours, false, delay);
    addRow(QStringLiteral("Notify on UP Transition:"), CheckBox2, false);

    auto* legend = new QHBoxLayout;
    legend->addWidget(new QLabel(QStringLiteral("*")));
    legend->addWidget(new QLabel(QStringLiteral("Required Entries")));
    legend->addStretch();

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    OKBtn = button("OKBtn", QStringLiteral("Done"));
    OKBtn->setDefault(true);
    CancelBtn = button("CancelBtn", QStringLiteral("Cancel"));
    Button1 = button("Button1", QStringLiteral("Test EMAIL"));
    Button1->setToolTip(QStringLiteral("Send an EMAIL to 'Addesses to Notify'"));
    Button2 = button("Button2", QStringLiteral("Help"));
    Button3 = button("Button3", QStringLiteral("Apply"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {OKBtn, CancelBtn, Button3, Button1, Button2})
        buttons->addWidget(b);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(legend);
    top->addLayout(buttons);
    // A fixed border: the dialog keeps the size its contents need.
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(Edit4, &QLineEdit::textChanged, this, &TEMAILNotify::Edit4Change);
    // Choosing a security mode moves a port still at a usual one to the
    // mode's own; a port the operator chose stays.
    connect(ComboSecurity, &QComboBox::activated, this, [this](int index) {
        static const QList<int> usual{25, 587, 465};
        if (usual.contains(EditPort->value()) && index >= 0 && index < usual.size())
            EditPort->setValue(usual[index]);
    });
    connect(OKBtn, &QPushButton::clicked, this, [this] { guarded([this] { OKBtnClick(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { guarded([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { guarded([this] { Button3Click(); }); });
}

void TEMAILNotify::guarded(const std::function<void()>& handler) {
    ::Guarded(handler);
}

int TEMAILNotify::Execute(TEMAILNotifyContext context, TMailDelivery& delivery, QWidget* parent,
                          const std::function<int(TEMAILNotify&)>& run) {
    delivery.HoldTimer();
    int result = QDialog::Rejected;
    {
        TEMAILNotify dialog(std::move(context), parent);
        result = run ? run(dialog) : dialog.exec();
    }
    delivery.ReleaseTimer();
    return result;
}

void TEMAILNotify::FormCreate() {
    const TEmailSettings& e = ctx.email;
    Edit1->setText(e.yourAddress);
    Edit3->setText(ctx.shownDnsServer ? ctx.shownDnsServer() : QString());
    Edit4->setText(e.mxAddress);
    CheckBox1->setChecked(e.useMXAddress);
    ComboSecurity->setCurrentIndex(ComboSecurity->findData(int(e.mxSecurity)));
    EditPort->setValue(e.mxPort);
    EditUser->setText(e.mxUser);
    EditPassword->setText(e.mxPassword);
    CheckBox2->setChecked(e.notifyOnUp);
    ComboPriority->setCurrentIndex(qBound(0, e.sitesCritical, 2));
    Memo1->setPlainText(ctx.notifyAddresses.join(QLatin1Char('\n')));
    UpDownHours->setValue(e.delayHours);
    UpDownMinutes->setValue(e.delayMinutes);
    Edit4Change();
}

void TEMAILNotify::Edit4Change() {
    // Only enabled or not: the check mark stays as it was.
    CheckBox1->setEnabled(!Edit4->text().isEmpty());
}

QStringList TEMAILNotify::MemoLines() const {
    const QString text = Memo1->toPlainText();
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool TEMAILNotify::applyEntries() {
    if (Edit1->text().trimmed().isEmpty() || MemoLines().isEmpty() ||
        Edit3->text().trimmed().isEmpty()) {
        Prompts().Message(
            QStringLiteral("Some Required Input is Missing, (Your EMAIL Address, Notify "
                           "Addresses, DNS Server Address).\nAny other entries you proviced "
                           "will be ignored."),
            QStringLiteral("Warning"), TPrompts::Buttons::Ok, TPrompts::Icon::Warning);
        return false;
    }
    TEmailSettings& e = ctx.email;
    e.yourAddress = Edit1->text().trimmed();
    // A blank line names nobody: it would give an entry that can never be
    // delivered and holds back every alert behind it, and the settings file
    // does not keep it either.
    QStringList addresses = MemoLines();
    addresses.removeIf([](const QString& a) { return a.trimmed().isEmpty(); });
    ctx.notifyAddresses = addresses;
    e.mxAddress = Edit4->text().trimmed();
    e.useMXAddress = CheckBox1->isChecked();
    e.mxPort = EditPort->value();
    e.mxSecurity = TMailSecurity(ComboSecurity->currentData().toInt());
    e.mxUser = EditUser->text().trimmed();
    // A password may begin or end with a blank.
    e.mxPassword = EditPassword->text();
    e.notifyOnUp = CheckBox2->isChecked();
    e.sitesCritical = ComboPriority->currentIndex();
    e.delayHours = UpDownHours->value();
    e.delayMinutes = UpDownMinutes->value();
    // The DNS lists and the e-mail keys reach the file in one write.
    TIniFile& ini = ctx.settings();
    ini.Update([&] {
        if (ctx.addDnsServer)
            ctx.addDnsServer(Edit3->text().trimmed());
        writeSettings();
    });
    return true;
}

void TEMAILNotify::writeSettings() {
    ctx.email.Write(ctx.settings(), ctx.notifyAddresses);
}

void TEMAILNotify::OKBtnClick() {
    // Missing entries save nothing, and "Done" closes all the same.
    applyEntries();
    accept();
}

void TEMAILNotify::Button3Click() {
    applyEntries();
}

void TEMAILNotify::Button1Click() {
    const auto tell = [](const QString& text) {
        Prompts().Message(text, kTestCaption, TPrompts::Buttons::Ok, TPrompts::Icon::Information);
    };
    // The untrimmed texts, as written.
    if (Edit1->text().isEmpty()) {
        tell(QStringLiteral("Your EMAIL Address is missing."));
        return;
    }
    if (MemoLines().isEmpty()) {
        tell(QStringLiteral("'Addresses to Notify' entries are missing."));
        return;
    }
    if (Edit3->text().isEmpty()) {
        tell(QStringLiteral("'DNS Server' entry is missing."));
        return;
    }
    applyEntries();
    ctx.queue.QueueAlert(ctx.notifyAddresses, QStringLiteral("Velmora Test"), QString(), QString(),
                         ctx.clockText ? ctx.clockText() : QString());
    tell(QStringLiteral("Close the EMail Notification Dialog then \ncheck the 'Notify Addresses' "
                        "mailboxes for mail."));
}

void TEMAILNotify::Button2Click() {
    if (ctx.help)
        ctx.help(kHelpContext);
}
