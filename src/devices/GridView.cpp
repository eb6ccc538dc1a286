#include "GridView.h"

#include "DeviceGrid.h"

#include <QHeaderView>

namespace {
constexpr double kFractions[Col::Count] = {0.12, 0.23, 0.05, 0.06, 0.16, -1, 0.06,
                                           0.07, 0.04, 0.06, 0.06, 0.07, -1};
}

double TGridView::ColumnFraction(int column) {
    return column >= 0 && column < Col::Count ? kFractions[column] : -1;
}

TGridView::TGridView(TDeviceGrid* grid, QWidget* parent) : QTableView(parent) {
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
}

void TGridView::ApplyColumnWidths(int width) {
    for (int c = 0; c < Col::Count; ++c)
        if (kFractions[c] >= 0)
            setColumnWidth(c, int(width * kFractions[c]));
}
