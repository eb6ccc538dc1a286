#include "GridView.h"

#include "DeviceGrid.h"
#include "GridCopy.h"
#include "GridDelegate.h"
#include "history/HistoryDlg.h"
#include "platform/FileFolders.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <functional>

namespace {

constexpr double kFractions[Col::Count] = {0.12, 0.23, 0.05, 0.06, 0.16, -1, 0.06,
                                           0.07, 0.04, 0.06, 0.06, 0.07, -1};

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

double TGridView::ColumnFraction(int column) {
    return column >= 0 && column < Col::Count ? kFractions[column] : -1;
}

TGridView::TGridView(TDeviceGrid* g, QWidget* parent) : QTableView(parent), grid(g) {
    setObjectName(QStringLiteral("sg"));
    setAccessibleName(QStringLiteral("WAN Grid"));
    setModel(grid);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(24);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont f = font();
    f.setPointSize(8);
    setFont(f);
    for (int c = 0; c < Col::Count; ++c)
        setColumnHidden(c, kFractions[c] < 0);
    horizontalHeader()->viewport()->installEventFilter(
        new THeaderClickFilter(horizontalHeader(), [this](int c) { emit HeaderClicked(c); }));
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& i) {
                if (i.isValid())
                    emit CellSelected(i.column(), i.row() + 1);
            });
    buildPopupMenu();
}

void TGridView::buildPopupMenu() {
    PopupMenuVelmoraGrid = new QMenu(this);
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
    PopupMenuVelmoraGrid->addSeparator()->setObjectName(QStringLiteral("N2"));
    QAction* selectAll = add("ActionVelmoraGridSelectAll", QStringLiteral("Select &All"),
                             QKeySequence(Qt::CTRL | Qt::Key_A));
    QAction* copy =
        add("ActionVelmoraGridCopy", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    addAction(selectAll);
    addAction(copy);
    connect(selectAll, &QAction::triggered, this, [this] { ActionVelmoraGridSelectAllExecute(); });
    connect(copy, &QAction::triggered, this, [this] { ActionVelmoraGridCopyExecute(); });
    PopupMenuVelmoraGrid->addSeparator();
    ActionHistory = add("ActionHistory", QStringLiteral("History..."), {});
    connect(ActionHistory, &QAction::triggered, this, [this] { openHistory(popupRow); });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        const QModelIndex at = indexAt(p);
        popupRow = at.isValid() && at.row() < grid->DeviceCount() ? at.row() + 1 : 0;
        PopupMenuVelmoraGridPopup();
        PopupMenuVelmoraGrid->popup(viewport()->mapToGlobal(p));
    });
}

void TGridView::PopupMenuVelmoraGridPopup() {
    ActionDeleteGridDevice->setVisible(grid->RowCount() > 2);
    ActionEditGridDevice->setVisible(grid->RowCount() >= 2);
    ActionHistory->setEnabled(popupRow > 0);
}

void TGridView::openHistory(int row) {
    if (row <= 0 || row > grid->DeviceCount())
        return;
    // Modeless and its own window; several can be open at once.
    auto* dlg =
        new THistoryDlg(DataFolder() + THistoryStore::FileName(), grid->Cell(row, Col::Address),
                        grid->Cell(row, Col::Location), window());
    if (auto* d = qobject_cast<TGridDelegate*>(itemDelegate()))
        dlg->SetDownColor(d->CurrentColors().down);
    dlg->show();
}

void TGridView::ActionVelmoraGridSelectAllExecute() {
    if (grid->DeviceCount() == 0)
        return;
    const QModelIndex tl = grid->index(0, 0);
    const QModelIndex br = grid->index(grid->DeviceCount() - 1, Col::Count - 2);
    selectionModel()->select(QItemSelection(tl, br), QItemSelectionModel::ClearAndSelect);
}

void TGridView::ActionVelmoraGridCopyExecute() {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
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

void TGridView::ApplyColumnWidths(int width) {
    for (int c = 0; c < Col::Count; ++c)
        if (kFractions[c] >= 0)
            setColumnWidth(c, int(width * kFractions[c]));
}
