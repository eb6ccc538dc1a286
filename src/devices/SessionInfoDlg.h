#pragma once

#include "devices/GridStatistics.h"

#include <QDialog>
#include <QTimer>
#include <functional>

class QLabel;
class QPushButton;
class TDeviceGrid;

// "Velmora Session Information": a live summary of the monitoring, modeless,
// refreshed at the inter-site interval it was opened with. It changes
// nothing and deletes itself when closed.
class TSessionInfoDlg : public QDialog {
    Q_OBJECT
public:
    struct TCounters {
        int loopCount = 0;
        int currentRow = 0;
    };
    TSessionInfoDlg(const TDeviceGrid& grid, std::function<TCounters()> counters, int intervalMs,
                    QWidget* parent = nullptr);

    // Handlers with their fixed names.
    void FormCreate(int intervalMs);
    void TimerSessionInfoTimer();
    void OKBtnClick();

    QLabel* LabelLoopCnt;
    QLabel* LabelDeviceCnt;
    QLabel* LabelMaxAvgRespTime;
    QLabel* LabelMinAvgRespTime;
    QLabel* LabelMaxPercOk;
    QLabel* LabelMinPercOk;
    QLabel* LabelCurrentDeviceScanned;
    QLabel* LabelLocationInTheGrid;
    QPushButton* OKBtn;
    QTimer TimerSessionInfo;

private:
    void showTexts(const TSessionInfoTexts& t);

    const TDeviceGrid& grid;
    std::function<TCounters()> counters;
    TSessionInfoTexts texts;
};
