#pragma once

#include "monitor/MonitorSettings.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

// The "Monitor Setup" tab: the monitoring parameters, the three state
// colours and the Apply button. It only shows and edits values; applying
// them is the session's.
class TMonitorSetupPage : public QWidget {
    Q_OBJECT
public:
    explicit TMonitorSetupPage(QWidget* parent = nullptr);

    TMonitorSettings Values() const;
    void SetValues(const TMonitorSettings& s);

    // The colour a label is drawn in, as 0x00BBGGRR.
    static int ColorValue(const QColor& c);
    static QColor ColorOf(int value);
    int LabelColor(const QLabel* label) const;
    void SetLabelColor(QLabel* label, int value);

    QGroupBox* GroupBox4;
    // Each spin box is the edit box and its up-down in one control.
    QSpinBox* UpDownVelmoraPingTimeOut;
    QSpinBox* UpDownVelmoraPacketsPerSite;
    QSpinBox* UpDownVelmoraInterPacketDelay;
    QSpinBox* UpDownVelmoraInterSiteDelay;
    // "HistoryDays": 0 keeps no history and writes no file.
    QSpinBox* UpDownHistoryDays;
    QCheckBox* cbPopWindowDevice;
    QCheckBox* cbSaveState;
    QCheckBox* cbVelmoraLogVerbose;
    // "MetricsListen": where Prometheus scrapes; empty: no listener.
    QLineEdit* EditMetricsListen;
    QLabel* LabelDeviceUpColor;
    QLabel* LabelDeviceDownColor;
    QLabel* LabelActiveRowColor;
    QToolButton* SpeedButton2;
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton4;
    QPushButton* ButtonApplySettings;
    QPushButton* ButtonHelp;

signals:
    void applyClicked();
    void helpClicked();
    // A state colour was chosen; the grid repaints with it.
    void colorChanged();
    // Any value changed; the values are in use at once.
    void valuesChanged();

private:
    void chooseColor(QLabel* label);
};
