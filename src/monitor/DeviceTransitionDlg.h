#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// "Device Alert": the row of a device that just went DOWN. Modeless; it
// destroys itself when closed, and several may be open at once.
class TDeviceTransitionDLG : public QDialog {
    Q_OBJECT
public:
    // `cells` are columns 0 to 4 of the row at the moment it is shown.
    TDeviceTransitionDLG(const QStringList& cells, QWidget* owner);

    QLineEdit* EditIP;
    QLineEdit* EditLocation;
    QLineEdit* EditCritical;
    QLineEdit* EditStatus;
    QLineEdit* EditSince;
    QPushButton* OKBtn;
};

void ShowDeviceAlert(const QStringList& cells, QWidget* owner);
