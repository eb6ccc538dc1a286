#include "PushNotifyDlg.h"

#include "platform/ErrorGuard.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "push/PushDelivery.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kCaption = QStringLiteral("Push Notifications");
} // namespace

TPushNotify::TPushNotify(TPushNotifyContext context, QWidget* parent)
    : QDialog(parent), ctx(std::move(context)) {
    setObjectName(QStringLiteral("PushNotify"));
    setWindowTitle(kCaption);
    buildControls();
    FormCreate();
}

void TPushNotify::buildControls() {
    EditWebhookURL = new QLineEdit;
    EditWebhookURL->setObjectName(QStringLiteral("EditWebhookURL"));
    EditWebhookURL->setPlaceholderText(QStringLiteral("https://ntfy.example.org/velmora"));
    EditWebhookURL->setMinimumWidth(360);
    ComboWebhookFormat = new QComboBox;
    ComboWebhookFormat->setObjectName(QStringLiteral("ComboWebhookFormat"));
    for (TWebhookFormat f : {TWebhookFormat::Json, TWebhookFormat::Ntfy, TWebhookFormat::Slack})
        ComboWebhookFormat->addItem(WebhookFormatText(f), int(f));
    EditWebhookToken = new QLineEdit;
    EditWebhookToken->setObjectName(QStringLiteral("EditWebhookToken"));
    EditWebhookToken->setEchoMode(QLineEdit::Password);
    CheckBoxDesktopNotify = new QCheckBox;
    CheckBoxDesktopNotify->setObjectName(QStringLiteral("CheckBoxDesktopNotify"));

    auto* grid = new QGridLayout;
    int row = 0;
    for (auto [caption, control] :
         {std::pair<QString, QWidget*>{QStringLiteral("Webhook URL:"), EditWebhookURL},
          {QStringLiteral("Webhook Format:"), ComboWebhookFormat},
          {QStringLiteral("Access Token:"), EditWebhookToken},
          {QStringLiteral("Desktop Notification on Device Change:"), CheckBoxDesktopNotify}}) {
        auto* label = new QLabel(caption);
        label->setBuddy(control);
        grid->addWidget(label, row, 0, Qt::AlignRight);
        grid->addWidget(control, row, 1);
        ++row;
    }

    auto button = [](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    ButtonTest = button("ButtonTest", QStringLiteral("Send Test"));
    OKBtn = button("OKBtn", QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = button("CancelBtn", QStringLiteral("Cancel"));
    ButtonHelp = button("ButtonHelp", QStringLiteral("Help"));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {ButtonTest, OKBtn, CancelBtn, ButtonHelp})
        buttons->addWidget(b);

    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(OKBtn, &QPushButton::clicked, this, [this] { Guarded([this] { OKBtnClick(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonTest, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonTestClick(); }); });
    connect(ButtonHelp, &QPushButton::clicked, this,
            [this] { Guarded([this] { ButtonHelpClick(); }); });
}

int TPushNotify::Execute(TPushNotifyContext context, QWidget* parent,
                         const std::function<int(TPushNotify&)>& run) {
    TPushNotify dialog(std::move(context), parent);
    return run ? run(dialog) : dialog.exec();
}

void TPushNotify::FormCreate() {
    const TPushSettings& p = ctx.settings;
    EditWebhookURL->setText(p.webhookURL);
    ComboWebhookFormat->setCurrentIndex(ComboWebhookFormat->findData(int(p.webhookFormat)));
    EditWebhookToken->setText(p.webhookToken);
    CheckBoxDesktopNotify->setChecked(p.desktopNotify);
}

bool TPushNotify::applyEntries() {
    const QString url = EditWebhookURL->text().trimmed();
    if (const QString problem = WebhookURLProblem(url); !problem.isEmpty()) {
        Prompts().Message(problem, kCaption, TPrompts::Buttons::Ok, TPrompts::Icon::Warning);
        return false;
    }
    TPushSettings p;
    p.webhookURL = url;
    p.webhookFormat = TWebhookFormat(ComboWebhookFormat->currentData().toInt());
    p.webhookToken = EditWebhookToken->text().trimmed();
    p.desktopNotify = CheckBoxDesktopNotify->isChecked();
    const bool changed = !(p == ctx.settings);
    ctx.settings = p;
    p.Write(ctx.ini());
    if (changed)
        ctx.delivery.SettingsChanged();
    return true;
}

void TPushNotify::OKBtnClick() {
    if (applyEntries())
        accept();
}

void TPushNotify::ButtonTestClick() {
    if (EditWebhookURL->text().trimmed().isEmpty()) {
        Prompts().Message(QStringLiteral("The Webhook URL is missing."), kCaption,
                          TPrompts::Buttons::Ok, TPrompts::Icon::Warning);
        return;
    }
    if (!applyEntries())
        return;
    const QString time = ctx.clockText ? ctx.clockText() : QString();
    ctx.delivery.QueueAlert(QStringLiteral("Velmora Test"), QString(), QStringLiteral("Test"),
                            time);
    Prompts().Message(QStringLiteral("A test push is on its way; the EMAIL Log tells how it went."),
                      kCaption, TPrompts::Buttons::Ok, TPrompts::Icon::Information);
}

void TPushNotify::ButtonHelpClick() {
    if (ctx.help)
        ctx.help(kHelpContext);
}
