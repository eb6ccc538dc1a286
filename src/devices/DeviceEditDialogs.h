#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// The three device editing dialogs. Each forwards its button to the
// operation it is given; the rules live with the caller. `dataFileName` is
// the data file's name when a change may reach the file, else empty, which
// hides the file check box.

// The address, location and critical fields the insert and edit dialogs
// share.
class TDeviceFields {
public:
    void build(QDialog* dialog, class QGridLayout* grid);
    QLineEdit* EditIP = nullptr;
    QLineEdit* EditLocation = nullptr;
    QComboBox* ComboBoxCritical = nullptr;
    QString critical() const;
};

class TDlgInsertGridDevice : public QDialog, public TDeviceFields {
    Q_OBJECT
public:
    using Insert = std::function<void(const QString& address, const QString& location, bool append,
                                      const QString& critical)>;
    TDlgInsertGridDevice(const QString& dataFileName, std::function<int()> rowCount, Insert insert,
                         QWidget* parent = nullptr);

    QCheckBox* CheckBoxAppendDat = nullptr;
    QPushButton* BtnAddDevice = nullptr;
    QPushButton* BtnDone = nullptr;

    void BtnAddDeviceClick();

private:
    std::function<int()> rowCount;
    Insert insert;
};

class TDlgEditGridDevice : public QDialog, public TDeviceFields {
    Q_OBJECT
public:
    using Update = std::function<void(const QString& previous, const QString& address, bool update,
                                      const QString& critical, const QString& location)>;
    // `cells` are the selected row's address, location and critical texts.
    TDlgEditGridDevice(const QString& dataFileName, const QStringList& cells, Update update,
                       QWidget* parent = nullptr);

    QCheckBox* CheckBoxUpdateDat = nullptr;
    QPushButton* BtnUpdateDevice = nullptr;
    QPushButton* CancelBtn = nullptr;

    void BtnUpdateDeviceClick();

private:
    QString previous;
    Update update;
};

class TDlgMergeIntoDevGrid : public QDialog {
    Q_OBJECT
public:
    using Merge = std::function<void(const QString& path, bool append)>;
    // `chooseFile` opens the file dialog and returns the path, empty when
    // cancelled.
    TDlgMergeIntoDevGrid(const QString& dataFileName, std::function<QString()> chooseFile,
                         Merge merge, QWidget* parent = nullptr);

    QLineEdit* EditMergeFile = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QCheckBox* CheckBoxUpdateDat = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    void OKBtnClick();

private:
    std::function<QString()> chooseFile;
    Merge merge;
};
