#include "icmp/PingPageView.h"

#include "icmp/PingPageEngine.h"
#include "platform/ErrorGuard.h"
#include "platform/LogModel.h"
#include "ui/LogPane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QSpinBox* NumberBox(const char* name, int min, int max, int value) {
    auto* box = new QSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setRange(min, max);
    box->setValue(value);
    return box;
}

QLabel* BuddyLabel(const char* name, const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    return label;
}

} // namespace

TPingPage::TPingPage(TPingPageEngine& e, QWidget* parent) : QWidget(parent), engine(e) {
    setObjectName(QStringLiteral("TPingPage"));
    GroupBoxAddress = new QGroupBox(QStringLiteral("Address to Ping"), this);
    GroupBoxResults = new QGroupBox(QStringLiteral("Ping Results"), this);
    GroupBoxOptions = new QGroupBox(QStringLiteral("Options"), this);

    ComboBoxPingList = new QComboBox;
    ComboBoxPingList->setObjectName(QStringLiteral("ComboBoxPingList"));
    ComboBoxPingList->setEditable(true);
    ComboBoxPingList->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxPingList->setMaxVisibleItems(kPingHistoryLimit);
    ComboBoxPingList->setAccessibleName(QStringLiteral("Address to Ping"));
    ButtonPingPage = new QPushButton(QStringLiteral("Ping"));
    ButtonPingPage->setObjectName(QStringLiteral("ButtonPingPage"));
    auto* address = new QHBoxLayout;
    address->addWidget(ComboBoxPingList, 1);
    address->addWidget(ButtonPingPage);
    auto* addressGroup = new QVBoxLayout(GroupBoxAddress);
    addressGroup->addLayout(address);
    addressGroup->addStretch(1);

    MemoPingPage = new TLogPane;
    MemoPingPage->setObjectName(QStringLiteral("MemoPingPage"));
    MemoPingPage->setAccessibleName(QStringLiteral("Ping Results"));
    MemoPingPage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoPingPage->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoPingPage->SetModel(&engine.Output());
    auto* results = new QVBoxLayout(GroupBoxResults);
    results->addWidget(MemoPingPage);

    CheckBoxPingClear = new QCheckBox(QStringLiteral("Clear Display"));
    CheckBoxPingClear->setObjectName(QStringLiteral("CheckBoxPingClear"));
    CheckBoxPingClear->setChecked(true);
    CheckBoxPingTR = new QCheckBox(QStringLiteral("Trace Route"));
    CheckBoxPingTR->setObjectName(QStringLiteral("CheckBoxPingTR"));
    EditPingPackets = UpDownPingPackets = NumberBox("EditPingPackets", 0, 99, 4);
    EditPingTimeOut = UpDown6 = NumberBox("EditPingTimeOut", 1, 60, 5);
    LabelPingPackets =
        BuddyLabel("LabelPingPackets", QStringLiteral("Number of Packets"), EditPingPackets);
    LabelPingTimeout =
        BuddyLabel("LabelPingTimeout", QStringLiteral("Timeout (Seconds)"), EditPingTimeOut);
    auto* options = new QGridLayout(GroupBoxOptions);
    options->addWidget(CheckBoxPingClear, 0, 0, 1, 2);
    options->addWidget(CheckBoxPingTR, 1, 0, 1, 2);
    options->addWidget(LabelPingPackets, 2, 0);
    options->addWidget(EditPingPackets, 2, 1);
    options->addWidget(LabelPingTimeout, 3, 0);
    options->addWidget(EditPingTimeOut, 3, 1);
    options->setRowStretch(4, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(GroupBoxAddress, 2);
    top->addWidget(GroupBoxOptions, 1);
    auto* page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addWidget(GroupBoxResults, 1);

    // The engine reads the controls at each click and each probe, so an
    // edit during a run changes the following probes.
    engine.SetInputs([this] {
        TPingInputs in;
        in.target = ComboBoxPingList->currentText();
        in.timeOutText = EditPingTimeOut->cleanText();
        in.packets = EditPingPackets->value();
        in.clearDisplay = CheckBoxPingClear->isChecked();
        in.traceRoute = CheckBoxPingTR->isChecked();
        return in;
    });
    connect(&engine, &TPingPageEngine::CaptionChanged, ButtonPingPage, &QPushButton::setText);
    connect(&engine, &TPingPageEngine::ListChanged, this, &TPingPage::RefreshList);
    connect(ButtonPingPage, &QPushButton::clicked, this, [this] { ButtonPingPageClick(); });
    // The box's state, not its click: a screen reader's toggle action and
    // setChecked change it without a click.
    connect(CheckBoxPingTR, &QCheckBox::toggled, this, [this] { CheckBoxPingTRClick(); });
    ComboBoxPingList->installEventFilter(this);
    ComboBoxPingList->lineEdit()->installEventFilter(this);
    RefreshList();
}

bool TPingPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        (watched == ComboBoxPingList || watched == ComboBoxPingList->lineEdit())) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ComboBoxPingListKeyPress();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TPingPage::RefreshList() {
    const QString shown = ComboBoxPingList->currentText();
    const QSignalBlocker block(ComboBoxPingList);
    ComboBoxPingList->clear();
    ComboBoxPingList->addItems(engine.List());
    ComboBoxPingList->setEditText(shown);
}

void TPingPage::ButtonPingPageClick() {
    ::Guarded([this] { engine.ButtonPingPageClick(); });
}

void TPingPage::ComboBoxPingListKeyPress() {
    ButtonPingPageClick();
}

void TPingPage::CheckBoxPingTRClick() {
    const bool packets = !CheckBoxPingTR->isChecked();
    EditPingPackets->setEnabled(packets);
    LabelPingPackets->setEnabled(packets);
}
