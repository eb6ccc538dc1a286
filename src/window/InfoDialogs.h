#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TSession;

// "Winsock Information": what the socket layer reported at start-up, with
// this machine's name and address.
class TSockInfo : public QDialog {
    Q_OBJECT
public:
    explicit TSockInfo(const TSession& session, QWidget* parent = nullptr);

    QLabel* LabelVersion;
    QLabel* LabelDescription;
    QLabel* LabelStatus;
    QLabel* LabelMaxSockets;
    QLabel* LabelMaxUdp;
    QLabel* LabelHostName;
    QLabel* LabelHostIP;
    QPushButton* OKBtn;
};

// "About Velmora": name, version, the contact address and the machine's
// physical memory.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // The contact link: a mail to its address through the desktop.
    void Label1Click();

    static const QString kContactAddress;

    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Label1; // the contact address
    QLabel* LabelTotalMem;
    QLabel* LabelAvailMem;
    QPushButton* OKButton;
};
