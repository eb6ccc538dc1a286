#include "DeviceEditDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The record's field widths.
constexpr int kAddressLength = 15;
constexpr int kLocationLength = 254;

QLabel* buddyLabel(const QString& caption, QWidget* control) {
    auto* l = new QLabel(caption);
    l->setBuddy(control);
    return l;
}

// Shown, ticked and captioned with the data file's name when a change may
// reach it; otherwise hidden and unticked.
void setUpFileBox(QCheckBox* box, const char* name, const QString& caption,
                  const QString& dataFileName) {
    box->setObjectName(QLatin1String(name));
    const bool allowed = !dataFileName.isEmpty();
    box->setText(allowed ? caption + QLatin1Char(' ') + dataFileName : caption);
    box->setChecked(allowed);
    box->setVisible(allowed);
}

QPushButton* button(const char* name, const QString& caption) {
    auto* b = new QPushButton(caption);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : buttons)
        row->addWidget(b);
    return row;
}

} // namespace

void TDeviceFields::build(QDialog* dialog, QGridLayout* grid) {
    EditIP = new QLineEdit;
    EditIP->setObjectName(QStringLiteral("EditIP"));
    EditIP->setMaxLength(kAddressLength);
    EditLocation = new QLineEdit;
    EditLocation->setObjectName(QStringLiteral("EditLocation"));
    EditLocation->setMaxLength(kLocationLength);
    ComboBoxCritical = new QComboBox;
    ComboBoxCritical->setObjectName(QStringLiteral("ComboBoxCritical"));
    ComboBoxCritical->addItems({QStringLiteral("No"), QStringLiteral("Yes")});
    ComboBoxCritical->setCurrentIndex(0);
    auto* note = buddyLabel(QStringLiteral("Only applicable for EMAIL delivery"), ComboBoxCritical);
    note->setObjectName(QStringLiteral("LabelCriticalNote"));
    ComboBoxCritical->setAccessibleDescription(note->text());
    grid->addWidget(buddyLabel(QStringLiteral("IP Address:"), EditIP), 0, 0);
    grid->addWidget(EditIP, 0, 1, 1, 2);
    grid->addWidget(buddyLabel(QStringLiteral("Location:"), EditLocation), 1, 0);
    grid->addWidget(EditLocation, 1, 1, 1, 2);
    grid->addWidget(buddyLabel(QStringLiteral("Critical Site:"), ComboBoxCritical), 2, 0);
    grid->addWidget(ComboBoxCritical, 2, 1);
    grid->addWidget(note, 2, 2);
    EditLocation->setMinimumWidth(320);
    dialog->setFocusProxy(EditIP);
}

QString TDeviceFields::critical() const {
    return ComboBoxCritical->currentText();
}

TDlgInsertGridDevice::TDlgInsertGridDevice(const QString& dataFileName,
                                           std::function<int()> rowCount, Insert insert,
                                           QWidget* parent)
    : QDialog(parent), rowCount(std::move(rowCount)), insert(std::move(insert)) {
    setObjectName(QStringLiteral("DlgInsertGridDevice"));
    setWindowTitle(QStringLiteral("Insert Device in Velmora Grid"));
    auto* grid = new QGridLayout;
    build(this, grid);
    CheckBoxAppendDat = new QCheckBox;
    setUpFileBox(CheckBoxAppendDat, "CheckBoxAppendDat", QStringLiteral("Append to file:"),
                 dataFileName);
    grid->addWidget(CheckBoxAppendDat, 3, 1, 1, 2);
    BtnAddDevice = button("BtnAddDevice", QStringLiteral("&Add"));
    BtnAddDevice->setDefault(true);
    BtnDone = button("BtnDone", QStringLiteral("&Done"));
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(buttonRow({BtnAddDevice, BtnDone}));
    connect(BtnAddDevice, &QPushButton::clicked, this, [this] { BtnAddDeviceClick(); });
    connect(BtnDone, &QPushButton::clicked, this, &QDialog::accept);
    EditIP->setFocus();
}

void TDlgInsertGridDevice::BtnAddDeviceClick() {
    const int before = rowCount();
    insert(EditIP->text(), EditLocation->text(),
           !CheckBoxAppendDat->isHidden() && CheckBoxAppendDat->isChecked(), critical());
    // Added: clear the fields for the next device. Refused or kept for the
    // end of a probe: the typed values stay.
    if (rowCount() > before) {
        EditIP->clear();
        EditLocation->clear();
        ComboBoxCritical->setCurrentIndex(0);
        CheckBoxAppendDat->setChecked(false);
        EditIP->setFocus();
    }
}

TDlgEditGridDevice::TDlgEditGridDevice(const QString& dataFileName, const QStringList& cells,
                                       Update update, QWidget* parent)
    : QDialog(parent), previous(cells.value(0)), update(std::move(update)) {
    setObjectName(QStringLiteral("DlgEditGridDevice"));
    setWindowTitle(QStringLiteral("Update Grid Device"));
    auto* grid = new QGridLayout;
    build(this, grid);
    EditIP->setText(cells.value(0));
    EditLocation->setText(cells.value(1));
    ComboBoxCritical->setCurrentIndex(cells.value(2) == QLatin1String("No") ? 0 : 1);
    CheckBoxUpdateDat = new QCheckBox;
    setUpFileBox(CheckBoxUpdateDat, "CheckBoxUpdateDat", QStringLiteral("Update file:"),
                 dataFileName);
    grid->addWidget(CheckBoxUpdateDat, 3, 1, 1, 2);
    BtnUpdateDevice = button("BtnUpdateDevice", QStringLiteral("Update"));
    BtnUpdateDevice->setDefault(true);
    CancelBtn = button("CancelBtn", QStringLiteral("Done"));
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(buttonRow({BtnUpdateDevice, CancelBtn}));
    connect(BtnUpdateDevice, &QPushButton::clicked, this, [this] { BtnUpdateDeviceClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    EditIP->setFocus();
}

void TDlgEditGridDevice::BtnUpdateDeviceClick() {
    update(previous, EditIP->text(),
           !CheckBoxUpdateDat->isHidden() && CheckBoxUpdateDat->isChecked(), critical(),
           EditLocation->text());
    accept(); // whatever the outcome
}

TDlgMergeIntoDevGrid::TDlgMergeIntoDevGrid(const QString& dataFileName,
                                           std::function<QString()> chooseFile, Merge merge,
                                           QWidget* parent)
    : QDialog(parent), chooseFile(std::move(chooseFile)), merge(std::move(merge)) {
    setObjectName(QStringLiteral("DlgMergeIntoDevGrid"));
    setWindowTitle(QStringLiteral("Merge File Into Device Grid"));
    EditMergeFile = new QLineEdit;
    EditMergeFile->setObjectName(QStringLiteral("EditMergeFile"));
    EditMergeFile->setMinimumWidth(320);
    SpeedButton1 = new QToolButton;
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("..."));
    SpeedButton1->setToolTip(QStringLiteral("Click to Select the File"));
    SpeedButton1->setAccessibleName(QStringLiteral("Click to Select the File"));
    CheckBoxUpdateDat = new QCheckBox;
    setUpFileBox(CheckBoxUpdateDat, "CheckBoxUpdateDat", QStringLiteral("Append to file:"),
                 dataFileName);
    OKBtn = button("OKBtn", QStringLiteral("Update"));
    OKBtn->setDefault(true);
    CancelBtn = button("CancelBtn", QStringLiteral("Done"));

    auto* grid = new QGridLayout;
    grid->addWidget(buddyLabel(QStringLiteral("File to Merge:"), EditMergeFile), 0, 0);
    grid->addWidget(EditMergeFile, 0, 1);
    grid->addWidget(SpeedButton1, 0, 2);
    grid->addWidget(CheckBoxUpdateDat, 1, 1, 1, 2);
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(buttonRow({OKBtn, CancelBtn}));
    connect(SpeedButton1, &QToolButton::clicked, this, [this] {
        const QString path = this->chooseFile();
        if (!path.isEmpty())
            EditMergeFile->setText(path);
    });
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    EditMergeFile->setFocus();
}

void TDlgMergeIntoDevGrid::OKBtnClick() {
    merge(EditMergeFile->text(), !CheckBoxUpdateDat->isHidden() && CheckBoxUpdateDat->isChecked());
    accept();
}
