// The grid's face (painting, header sort, selection) and what a DOWN change
// shows the operator.
#include "MainWindow.h"

#include "devices/DeviceGrid.h"
#include "devices/GridDelegate.h"
#include "devices/GridView.h"
#include "monitor/DeviceTransitionDlg.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/ErrorGuard.h"
#include "session/Session.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>

void TForm1::buildGrid() {
    gridDelegate =
        new TGridDelegate([this] { return session->Cycle().CurrentRow(); },
                          [this] {
                              return TGridDelegate::Colors{
                                  TMonitorSetupPage::ColorOf(
                                      MonitorSetup->LabelColor(MonitorSetup->LabelDeviceUpColor)),
                                  TMonitorSetupPage::ColorOf(
                                      MonitorSetup->LabelColor(MonitorSetup->LabelDeviceDownColor)),
                                  TMonitorSetupPage::ColorOf(
                                      MonitorSetup->LabelColor(MonitorSetup->LabelActiveRowColor))};
                          },
                          sg);
    gridDelegate->setObjectName(QStringLiteral("gridDelegate"));
    sg->setItemDelegate(gridDelegate);
    connect(MonitorSetup, &TMonitorSetupPage::colorChanged, sg->viewport(),
            qOverload<>(&QWidget::update));
    connect(sg, &TGridView::HeaderClicked, this,
            [this](int c) { Guarded([this, c] { sgMouseUp(c); }); });
    connect(sg, &TGridView::CellSelected, this, &TForm1::sgSelectCell);
}

void TForm1::deviceWentDown(const QStringList& cells) {
    if (session->Monitor().popupOnTransition)
        ShowDeviceAlert(cells, this);
    QApplication::beep();
    QApplication::beep();
    StartTrayAnimation();
}

void TForm1::sgMouseUp(int column) {
    session->SortRequest(column);
}

void TForm1::sgSelectCell(int, int row) {
    if (row > 0)
        session->SetSelectedRow(row);
}
