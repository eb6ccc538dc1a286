// The grid's face (painting, header sort, selection, popup, copy) and the
// monitoring cycle's calls into the window.
#include "MainWindow.h"

#include "MonitorSetupPage.h"
#include "Session.h"
#include "devices/DeviceGrid.h"
#include "devices/GridCopy.h"
#include "devices/GridDelegate.h"
#include "devices/GridView.h"
#include "monitor/DeviceTransitionDlg.h"
#include "platform/ErrorGuard.h"

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

// Any mouse button released on a header section sorts by it. The press is
// taken here too: the view would select the whole column and move the
// selected row.
class THeaderClickFilter : public QObject {
public:
    THeaderClickFilter(QHeaderView* header, std::function<void(int)> onClick)
        : QObject(header), header(header), onClick(std::move(onClick)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return true;
        case QEvent::MouseButtonRelease: {
            const auto* me = static_cast<QMouseEvent*>(e);
            const int column = header->logicalIndexAt(me->position().toPoint());
            if (column >= 0)
                onClick(column);
            return true;
        }
        default:
            return false;
        }
    }

private:
    QHeaderView* header;
    std::function<void(int)> onClick;
};

} // namespace

void TForm1::buildGrid() {
    gridDelegate =
        new TGridDelegate([this] { return session->Cycle().currentRow; },
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
    QAction* ActionInsertGridDevice =
        add("ActionInsertGridDevice", QStringLiteral("Insert a New Device..."), {});
    ActionEditGridDevice = add("ActionEditGridDevice", QStringLiteral("Edit Grid Device..."), {});
    ActionDeleteGridDevice =
        add("ActionDeleteGridDevice", QStringLiteral("Delete Grid Device..."), {});
    // The editing dialogs are not part of this build yet.
    for (QAction* a : {ActionInsertGridDevice, ActionEditGridDevice, ActionDeleteGridDevice})
        a->setEnabled(false);
    PopupMenuVelmoraGrid->addSeparator()->setObjectName(QStringLiteral("N2"));
    QAction* ActionVelmoraGridSelectAll =
        add("ActionVelmoraGridSelectAll", QStringLiteral("Select &All"),
            QKeySequence(Qt::CTRL | Qt::Key_A));
    QAction* ActionVelmoraGridCopy =
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

void TForm1::PopupMenuVelmoraGridPopup() {
    ActionDeleteGridDevice->setVisible(session->Grid().RowCount() > 2);
    ActionEditGridDevice->setVisible(session->Grid().RowCount() >= 2);
}

void TForm1::ActionVelmoraGridSelectAllExecute() {
    if (session->Grid().DeviceCount() == 0)
        return;
    const QModelIndex tl = session->Grid().index(0, 0);
    const QModelIndex br = session->Grid().index(session->Grid().DeviceCount() - 1, Col::Count - 2);
    sg->selectionModel()->select(QItemSelection(tl, br), QItemSelectionModel::ClearAndSelect);
}

void TForm1::ActionVelmoraGridCopyExecute() {
    const QModelIndexList selected = sg->selectionModel()->selectedIndexes();
    // Nothing selected (after a new monitor): nothing to copy.
    if (selected.isEmpty())
        return;
    int left = Col::Count, right = -1, top = session->Grid().RowCount(), bottom = 0;
    for (const QModelIndex& i : selected) {
        left = std::min(left, i.column());
        right = std::max(right, i.column());
        top = std::min(top, i.row() + 1);
        bottom = std::max(bottom, i.row() + 1);
    }
    QGuiApplication::clipboard()->setText(
        GridSelectionText(session->Grid(), left, right, top, bottom));
}
