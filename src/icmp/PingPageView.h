#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class TLogPane;
class TPingPageEngine;

// The "Ping" tab: shows the page engine's output and recent list and
// forwards the operator's commands to it. The rules are the engine's.
class TPingPage : public QWidget {
    Q_OBJECT
public:
    explicit TPingPage(TPingPageEngine& engine, QWidget* parent = nullptr);

    // Handlers with their fixed names.
    void ButtonPingPageClick();
    void ComboBoxPingListKeyPress();
    void CheckBoxPingTRClick();
    // The recent list changed: new items, the shown text kept.
    void RefreshList();

    QGroupBox* GroupBoxAddress;
    QGroupBox* GroupBoxResults;
    QGroupBox* GroupBoxOptions;
    QComboBox* ComboBoxPingList;
    QPushButton* ButtonPingPage;
    TLogPane* MemoPingPage;
    QCheckBox* CheckBoxPingClear;
    QCheckBox* CheckBoxPingTR;
    // Each spin box is the edit box and its up-down in one control.
    QSpinBox* EditPingPackets;
    QSpinBox* UpDownPingPackets;
    QLabel* LabelPingPackets;
    QSpinBox* EditPingTimeOut;
    QSpinBox* UpDown6;
    QLabel* LabelPingTimeout;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TPingPageEngine& engine;
};
