#include "MonitorSetupPage.h"

#include "platform/Prompts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QSpinBox* makeSpin(const char* name, const TRange& r) {
    auto* s = new QSpinBox;
    s->setObjectName(QLatin1String(name));
    s->setRange(r.min, r.max);
    s->setSingleStep(r.step);
    s->setValue(r.start);
    return s;
}

} // namespace

TMonitorSetupPage::TMonitorSetupPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MonitorSetup"));
    GroupBox4 = new QGroupBox(QStringLiteral("Velmora Parameters"), this);
    GroupBox4->setObjectName(QStringLiteral("GroupBox4"));
    auto* grid = new QGridLayout(GroupBox4);
    int row = 0;
    auto addRow = [&](const QString& caption, QWidget* control) {
        auto* label = new QLabel(caption);
        label->setBuddy(control);
        grid->addWidget(label, row, 0);
        grid->addWidget(control, row, 1);
        ++row;
        return label;
    };

    UpDownVelmoraPingTimeOut = makeSpin("UpDownVelmoraPingTimeOut", MonitorRanges::PingTimeOut);
    UpDownVelmoraPacketsPerSite =
        makeSpin("UpDownVelmoraPacketsPerSite", MonitorRanges::PacketsPerSite);
    UpDownVelmoraInterPacketDelay =
        makeSpin("UpDownVelmoraInterPacketDelay", MonitorRanges::InterPacketDelay);
    UpDownVelmoraInterSiteDelay =
        makeSpin("UpDownVelmoraInterSiteDelay", MonitorRanges::InterSiteDelay);
    addRow(QStringLiteral(" Ping Time Out (sec), Range (1-60):"), UpDownVelmoraPingTimeOut);
    addRow(QStringLiteral("Packets Per Site, Range (1-100):"), UpDownVelmoraPacketsPerSite);
    addRow(QStringLiteral("Inter-Packet Delay (msec), Range (100-10000):"),
           UpDownVelmoraInterPacketDelay);
    addRow(QStringLiteral("Inter-Site Delay (sec), Range (1-60):"), UpDownVelmoraInterSiteDelay);

    auto makeBox = [](const char* name) {
        auto* b = new QCheckBox;
        b->setObjectName(QLatin1String(name));
        return b;
    };
    cbPopWindowDevice = makeBox("cbPopWindowDevice");
    cbSaveState = makeBox("cbSaveState");
    cbVelmoraLogVerbose = makeBox("cbVelmoraLogVerbose");
    addRow(QStringLiteral("Show Popup Window on Device Down State:"), cbPopWindowDevice);
    addRow(QStringLiteral("Save State on Exit:"), cbSaveState);
    addRow(QStringLiteral("Verbose Log (Debug Mode):"), cbVelmoraLogVerbose);
    EditMetricsListen = new QLineEdit;
    EditMetricsListen->setObjectName(QStringLiteral("EditMetricsListen"));
    EditMetricsListen->setPlaceholderText(QStringLiteral("off; e.g. 9100 or 0.0.0.0:9100"));
    addRow(QStringLiteral("Metrics Address:"), EditMetricsListen);
    UpDownHistoryDays = makeSpin("UpDownHistoryDays", MonitorRanges::HistoryDays);
    addRow(QStringLiteral("Keep History (days):"), UpDownHistoryDays);

    auto colorRow = [&](QLabel*& label, QToolButton*& button, const char* labelName,
                        const char* buttonName, const QString& caption, int color) {
        button = new QToolButton;
        button->setObjectName(QLatin1String(buttonName));
        button->setText(QStringLiteral("..."));
        button->setAccessibleName(QStringLiteral("Choose ") +
                                  QString(caption).remove(QLatin1Char(':')));
        label = addRow(caption, button);
        label->setObjectName(QLatin1String(labelName));
        SetLabelColor(label, color);
        QLabel* l = label;
        connect(button, &QToolButton::clicked, this, [this, l] { chooseColor(l); });
    };
    colorRow(LabelDeviceUpColor, SpeedButton2, "LabelDeviceUpColor", "SpeedButton2",
             QStringLiteral("Device UP Color:"), Colors::Blue);
    colorRow(LabelDeviceDownColor, SpeedButton3, "LabelDeviceDownColor", "SpeedButton3",
             QStringLiteral("Device DOWN Color:"), Colors::Red);
    colorRow(LabelActiveRowColor, SpeedButton4, "LabelActiveRowColor", "SpeedButton4",
             QStringLiteral("Active Row Color:"), Colors::Lime);

    ButtonApplySettings = new QPushButton(QStringLiteral("Apply"));
    ButtonApplySettings->setObjectName(QStringLiteral("ButtonApplySettings"));
    ButtonHelp = new QPushButton(QStringLiteral("Help"));
    ButtonHelp->setObjectName(QStringLiteral("ButtonMonitorSetupHelp"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonApplySettings);
    buttons->addWidget(ButtonHelp);
    buttons->addStretch();
    grid->addLayout(buttons, row, 0, 1, 2);
    grid->setColumnStretch(2, 1);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(GroupBox4);
    outer->addStretch();

    connect(ButtonApplySettings, &QPushButton::clicked, this, &TMonitorSetupPage::applyClicked);
    connect(ButtonHelp, &QPushButton::clicked, this, &TMonitorSetupPage::helpClicked);
    for (QSpinBox* spin :
         {UpDownVelmoraPingTimeOut, UpDownVelmoraPacketsPerSite, UpDownVelmoraInterPacketDelay,
          UpDownVelmoraInterSiteDelay, UpDownHistoryDays})
        connect(spin, &QSpinBox::valueChanged, this, &TMonitorSetupPage::valuesChanged);
    for (QCheckBox* box : {cbPopWindowDevice, cbSaveState, cbVelmoraLogVerbose})
        connect(box, &QCheckBox::toggled, this, &TMonitorSetupPage::valuesChanged);
}

int TMonitorSetupPage::ColorValue(const QColor& c) {
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

QColor TMonitorSetupPage::ColorOf(int v) {
    return QColor(v & 0xff, (v >> 8) & 0xff, (v >> 16) & 0xff);
}

int TMonitorSetupPage::LabelColor(const QLabel* label) const {
    return label->property("velmoraColor").toInt();
}

void TMonitorSetupPage::SetLabelColor(QLabel* label, int value) {
    label->setProperty("velmoraColor", value);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, ColorOf(value));
    label->setPalette(p);
}

void TMonitorSetupPage::chooseColor(QLabel* label) {
    if (auto c = Prompts().ChooseColor(ColorOf(LabelColor(label)).rgba())) {
        SetLabelColor(label, ColorValue(QColor::fromRgba(*c)));
        emit colorChanged();
        emit valuesChanged();
    }
}

TMonitorSettings TMonitorSetupPage::Values() const {
    TMonitorSettings s;
    s.pingTimeOut = UpDownVelmoraPingTimeOut->value();
    s.packetsPerSite = UpDownVelmoraPacketsPerSite->value();
    s.interPacketDelay = UpDownVelmoraInterPacketDelay->value();
    s.interSiteDelay = UpDownVelmoraInterSiteDelay->value();
    s.saveStateOnExit = cbSaveState->isChecked();
    s.logVerbose = cbVelmoraLogVerbose->isChecked();
    s.popupOnTransition = cbPopWindowDevice->isChecked();
    s.upColor = LabelColor(LabelDeviceUpColor);
    s.downColor = LabelColor(LabelDeviceDownColor);
    s.activeRowColor = LabelColor(LabelActiveRowColor);
    s.historyDays = UpDownHistoryDays->value();
    return s;
}

void TMonitorSetupPage::SetValues(const TMonitorSettings& s) {
    UpDownVelmoraPingTimeOut->setValue(s.pingTimeOut);
    UpDownVelmoraPacketsPerSite->setValue(s.packetsPerSite);
    UpDownVelmoraInterPacketDelay->setValue(s.interPacketDelay);
    UpDownVelmoraInterSiteDelay->setValue(s.interSiteDelay);
    UpDownHistoryDays->setValue(s.historyDays);
    cbSaveState->setChecked(s.saveStateOnExit);
    cbVelmoraLogVerbose->setChecked(s.logVerbose);
    cbPopWindowDevice->setChecked(s.popupOnTransition);
    SetLabelColor(LabelDeviceUpColor, s.upColor);
    SetLabelColor(LabelDeviceDownColor, s.downColor);
    SetLabelColor(LabelActiveRowColor, s.activeRowColor);
}
