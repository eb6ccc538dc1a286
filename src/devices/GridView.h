#pragma once

#include <QTableView>

class TDeviceGrid;

// The view `sg` over the device grid: fixed 24-pixel rows, range selection,
// no editing, the two key columns hidden.
class TGridView : public QTableView {
    Q_OBJECT
public:
    explicit TGridView(TDeviceGrid* grid, QWidget* parent = nullptr);

    // Column widths as fractions of `width`; hidden columns stay hidden.
    void ApplyColumnWidths(int width);
    static double ColumnFraction(int column); // negative: hidden
};
