#pragma once

#include "ui/LogPane.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
class TPublisher;

// The Transfer Log pane `TransferMemo` with its popup menu.
class TTransferLog : public TLogPane {
    Q_OBJECT
public:
    explicit TTransferLog(QWidget* parent = nullptr);

    QMenu* PopupMenuTransferLog = nullptr;
    QAction* EditCutTransferLog = nullptr;
    QAction* EditCopyTransferLog = nullptr;
    QAction* EditSelectAllTransferLog = nullptr;
    QAction* ActionClearTransferLog = nullptr;
    QAction* FileOpenTransferLog = nullptr;
    QAction* FileSaveAsTransferLog = nullptr;
};

// The "Velmora Grid/Log Web Page" tab. It shows the publisher's boxes and
// writes every edit back at once, so a run or the schedule always sees what
// the operator sees; applying and exploring are the main window's.
class TWebPageTab : public QWidget {
    Q_OBJECT
public:
    explicit TWebPageTab(TPublisher& publisher, QWidget* parent = nullptr);

    // Shows the boxes as the publisher holds them.
    void ShowBoxes();

    QCheckBox* CheckBoxVelmoraWebPage;
    QSpinBox* EditWebPageHours; // the edit with its up-down
    QSpinBox* EditWebPageMin;
    QCheckBox* CheckBoxWebPageFTP;
    QLineEdit* EditWebPageFTPHost;
    QLineEdit* EditWebPageFTPPort;
    QLineEdit* EditWebPageFTPFolder;
    QCheckBox* CheckBoxAnonymousAccount;
    QLineEdit* EditWebPageFTPUserID;
    QLineEdit* EditWebPageFTPPassword;
    QCheckBox* CheckBoxWebPageLocalDrive;
    QLineEdit* EditWebPageDrivePath;
    QToolButton* SpeedButton1; // Drive\Path Selection
    QPushButton* ButtonWebPageTransferFile;
    QPushButton* ButtonApplyWebPage;
    QToolButton* SpeedButtonWebPageHelp;
    QToolButton* SpeedButton6; // Explore Grid/Log Web Pages
    TTransferLog* TransferMemo;

signals:
    void applyClicked();
    void helpClicked();
    void exploreClicked();

private:
    void SpeedButton1Click();
    void edited();

    TPublisher& publisher;
    bool showing = false; // the boxes are being filled from the publisher
};
