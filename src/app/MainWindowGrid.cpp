// The grid's face (painting, header sort, selection, popup, copy) and the
// monitoring cycle's calls into the window.
#include "MainWindow.h"

#include "MonitorSetupPage.h"
#include "devices/DeviceGrid.h"
#include "devices/GridCopy.h"
#include "devices/GridDelegate.h"
#include "devices/GridView.h"
#include "monitor/DeviceTransitionDlg.h"
#include "monitor/MonitorCycle.h"
#include "monitor/MonitorLog.h"
#include "monitor/Transitions.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSpinBox>

namespace {

// Any mouse button released on a header section sorts by it.
class THeaderClickFilter : public QObject {
public:
    THeaderClickFilter(QHeaderView* header, std::function<void(int)> onClick)
        : QObject(header), header(header), onClick(std::move(onClick)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonRelease) {
            const auto* me = static_cast<QMouseEvent*>(e);
            const int column = header->logicalIndexAt(me->position().toPoint());
            if (column >= 0)
                onClick(column);
        }
        return false;
    }

private:
    QHeaderView* header;
    std::function<void(int)> onClick;
};

} // namespace

void TForm1::buildGrid() {
    gridDelegate =
        new TGridDelegate([this] { return cycle->currentRow; },
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
    sg->setItemDelegate(gridDelegate);
    connect(MonitorSetup, &TMonitorSetupPage::colorChanged, sg->viewport(),
            qOverload<>(&QWidget::update));
    sg->horizontalHeader()->viewport()->installEventFilter(new THeaderClickFilter(
        sg->horizontalHeader(), [this](int c) { Guarded([this, c] { sgMouseUp(c); }); }));
    connect(sg->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& i) {
                if (i.isValid())
                    sgSelectCell(i.column(), i.row() + 1);
            });

    PopupMenuVelmoraGrid = new QMenu(sg);
    PopupMenuVelmoraGrid->setObjectName(QStringLiteral("PopupMenuVelmoraGrid"));
    auto add = [this](const char* name, const QString& caption, const QKeySequence& keys) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        PopupMenuVelmoraGrid->addAction(a);
        return a;
    };
    ActionInsertGridDevice =
        add("ActionInsertGridDevice", QStringLiteral("Insert a New Device..."), {});
    ActionEditGridDevice = add("ActionEditGridDevice", QStringLiteral("Edit Grid Device..."), {});
    ActionDeleteGridDevice =
        add("ActionDeleteGridDevice", QStringLiteral("Delete Grid Device..."), {});
    // The editing dialogs are not part of this build yet.
    for (QAction* a : {ActionInsertGridDevice, ActionEditGridDevice, ActionDeleteGridDevice})
        a->setEnabled(false);
    PopupMenuVelmoraGrid->addSeparator()->setObjectName(QStringLiteral("N2"));
    ActionVelmoraGridSelectAll = add("ActionVelmoraGridSelectAll", QStringLiteral("Select &All"),
                                     QKeySequence(Qt::CTRL | Qt::Key_A));
    ActionVelmoraGridCopy =
        add("ActionVelmoraGridCopy", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    sg->addAction(ActionVelmoraGridSelectAll);
    sg->addAction(ActionVelmoraGridCopy);
    connect(ActionVelmoraGridSelectAll, &QAction::triggered, this,
            [this] { ActionVelmoraGridSelectAllExecute(); });
    connect(ActionVelmoraGridCopy, &QAction::triggered, this,
            [this] { ActionVelmoraGridCopyExecute(); });
    sg->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(sg, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        PopupMenuVelmoraGridPopup();
        PopupMenuVelmoraGrid->popup(sg->viewport()->mapToGlobal(p));
    });
}

void TForm1::wireCycle() {
    TMonitorCycle::Host h;
    h.pingTimeOut = [this] { return MonitorSetup->UpDownVelmoraPingTimeOut->value(); };
    h.packetsPerSite = [this] { return MonitorSetup->UpDownVelmoraPacketsPerSite->value(); };
    h.verbose = [this] { return MonitorSetup->cbVelmoraLogVerbose->isChecked(); };
    h.closePending = [this] { return closePending; };
    h.setActivity = [this](const QString& text) { setStatus(1, text); };
    h.appendLog = [this](const QString& line) { AppendMonitorLog(line); };
    h.evaluate = [this](int row, bool ok, const QDateTime& t) { EvaluateTransition(row, ok, t); };
    h.runDeferred = [this] { RunDeferredRequests(); };
    cycle->SetHost(std::move(h));
}

void TForm1::AppendMonitorLog(const QString& line) {
    VelmoraMemo->appendPlainText(line);
}

void TForm1::EvaluateTransition(int row, bool succeeded, const QDateTime& t) {
    TNotifyPolicy policy;
    policy.sitesCritical = email.sitesCritical;
    policy.delaySecs = qint64(email.delayHours) * 3600 + qint64(email.delayMinutes) * 60;
    policy.notifyOnUp = email.notifyOnUp;
    const TTransitionResult r = ::EvaluateTransition(*grid, row, succeeded, t, clockText, policy);
    if (r.change != TTransitionResult::Change::None)
        AppendMonitorLog(r.logLine);
    if (r.change == TTransitionResult::Change::Down) {
        if (MonitorSetup->cbPopWindowDevice->isChecked()) {
            QStringList cells;
            for (int c = 0; c <= 4; ++c)
                cells << grid->Cell(cycle->currentRow, c);
            ShowDeviceAlert(cells, this);
        }
        QApplication::beep();
        QApplication::beep();
        StartTrayAnimation();
    }
    for (const TAlert& a : r.alerts)
        queue.QueueAlert(notifyAddresses, a.address, a.location, a.transition, a.time);
}

void TForm1::RunDeferredRequests() {
    if (pendingSort.pending) {
        pendingSort.pending = false;
        sortColumn(pendingSort.column);
    }
    if (cycle->applyPending) {
        cycle->applyPending = false;
        Guarded([this] { ButtonApplySettingsClick(); });
    }
    if (pendingMonitorPath) {
        const QString path = *pendingMonitorPath;
        pendingMonitorPath.reset();
        Guarded([this, path] { StartNewMonitor(path); });
    }
}

void TForm1::sortColumn(int column) {
    grid->SortGridRows(column, 1, grid->RowCount() - 1, sortDirections[size_t(column)] ? 1 : 0);
    sortDirections[size_t(column)] = !sortDirections[size_t(column)];
}

void TForm1::sgMouseUp(int column) {
    if (column < 0 || column >= Col::Count || column == Col::SinceKey || column == Col::RespTotal)
        return;
    if (cycle->cycleBusy) {
        pendingSort = {true, column};
        return;
    }
    SortByColumn(column);
}

void TForm1::SortByColumn(int column) {
    cycle->StopTimers();
    const int n = grid->RowCount() - 1;
    if (cycle->currentRow < 1 || cycle->currentRow > n)
        cycle->currentRow = 1;
    sortColumn(column);
    cycle->packetCount = 0;
    if (cycle->currentRow < 1 || cycle->currentRow > n)
        cycle->currentRow = 0;
    cycle->ResumeBetweenDevices();
}

void TForm1::sgSelectCell(int, int row) {
    if (row > 0)
        selectedRow = row;
}

void TForm1::PopupMenuVelmoraGridPopup() {
    ActionDeleteGridDevice->setVisible(grid->RowCount() > 2);
    ActionEditGridDevice->setVisible(grid->RowCount() >= 2);
}

void TForm1::ActionVelmoraGridSelectAllExecute() {
    if (grid->DeviceCount() == 0)
        return;
    const QModelIndex tl = grid->index(0, 0);
    const QModelIndex br = grid->index(grid->DeviceCount() - 1, Col::Count - 2);
    sg->selectionModel()->select(QItemSelection(tl, br), QItemSelectionModel::ClearAndSelect);
}

void TForm1::ActionVelmoraGridCopyExecute() {
    const QModelIndexList selected = sg->selectionModel()->selectedIndexes();
    // Nothing selected (after a new monitor): nothing to copy.
    if (selected.isEmpty())
        return;
    int left = Col::Count, right = -1, top = grid->RowCount(), bottom = 0;
    for (const QModelIndex& i : selected) {
        left = std::min(left, i.column());
        right = std::max(right, i.column());
        top = std::min(top, i.row() + 1);
        bottom = std::max(bottom, i.row() + 1);
    }
    QGuiApplication::clipboard()->setText(GridSelectionText(*grid, left, right, top, bottom));
}
