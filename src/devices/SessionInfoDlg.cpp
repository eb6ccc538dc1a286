#include "devices/SessionInfoDlg.h"

#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TSessionInfoDlg::TSessionInfoDlg(const TDeviceGrid& g, std::function<TCounters()> c, int intervalMs,
                                 QWidget* parent)
    : QDialog(parent), grid(g), counters(std::move(c)) {
    setObjectName(QStringLiteral("SessionInfoDlg"));
    setWindowTitle(QStringLiteral("Velmora Session Information"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);

    auto* figures = new QGridLayout;
    int row = 0;
    auto figure = [&](const char* name, const QString& caption) {
        auto* value = new QLabel;
        value->setObjectName(QLatin1String(name));
        // Device locations come from the data file: shown as they are.
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        value->setFocusPolicy(Qt::StrongFocus);
        auto* label = new QLabel(caption);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        label->setBuddy(value);
        figures->addWidget(label, row, 0);
        figures->addWidget(value, row, 1);
        ++row;
        return value;
    };
    LabelLoopCnt = figure("LabelLoopCnt",
                          QStringLiteral("Number of Loops through Monitor Grid since Startup:"));
    LabelDeviceCnt = figure("LabelDeviceCnt", QStringLiteral("Number of Devices in Monitor Grid:"));
    LabelMaxAvgRespTime =
        figure("LabelMaxAvgRespTime", QStringLiteral("Device with Largest Avg. Response Time:"));
    LabelMinAvgRespTime =
        figure("LabelMinAvgRespTime", QStringLiteral("Device with Smallest Avg. Response Time:"));
    LabelMaxPercOk = figure("LabelMaxPercOk", QStringLiteral("Device with Largest % Ok:"));
    LabelMinPercOk = figure("LabelMinPercOk", QStringLiteral("Device with Smallest % Ok:"));
    LabelCurrentDeviceScanned =
        figure("LabelCurrentDeviceScanned", QStringLiteral("Current Device being Scanned:"));
    LabelLocationInTheGrid =
        figure("LabelLocationInTheGrid", QStringLiteral("Location in the Grid:"));
    figures->setColumnStretch(1, 1);

    OKBtn = new QPushButton(QStringLiteral("Done"));
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    auto* page = new QVBoxLayout(this);
    page->addLayout(figures);
    page->addWidget(OKBtn, 0, Qt::AlignHCenter);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog border

    TimerSessionInfo.setObjectName(QStringLiteral("TimerSessionInfo"));
    TimerSessionInfo.setParent(this);
    connect(&TimerSessionInfo, &QTimer::timeout, this, &TSessionInfoDlg::TimerSessionInfoTimer);
    connect(OKBtn, &QPushButton::clicked, this, &TSessionInfoDlg::OKBtnClick);
    FormCreate(intervalMs);
}

void TSessionInfoDlg::FormCreate(int intervalMs) {
    texts = {};
    showTexts(texts);
    TimerSessionInfo.stop();
    TimerSessionInfoTimer();
    // The interval it opens with stays, even when the delay changes later.
    TimerSessionInfo.setInterval(intervalMs);
    TimerSessionInfo.start();
}

void TSessionInfoDlg::TimerSessionInfoTimer() {
    const TCounters c = counters ? counters() : TCounters{};
    RefreshSessionInfo(grid, c.loopCount, c.currentRow, texts);
    showTexts(texts);
}

void TSessionInfoDlg::OKBtnClick() {
    close();
}

void TSessionInfoDlg::showTexts(const TSessionInfoTexts& t) {
    LabelLoopCnt->setText(t.loopCount);
    LabelDeviceCnt->setText(t.deviceCount);
    LabelMaxAvgRespTime->setText(t.maxAvgRespTime);
    LabelMinAvgRespTime->setText(t.minAvgRespTime);
    LabelMaxPercOk->setText(t.maxPercOk);
    LabelMinPercOk->setText(t.minPercOk);
    LabelCurrentDeviceScanned->setText(t.currentDevice);
    LabelLocationInTheGrid->setText(t.locationInGrid);
}
