#pragma once

#include "devices/DeviceGrid.h"

#include <QStringList>

// One column of the grid's devices, top to bottom, without the header row.
inline QStringList GridColumn(const TDeviceGrid& grid, int column) {
    QStringList out;
    for (int r = 1; r < grid.RowCount(); ++r)
        out << grid.Cell(r, column);
    return out;
}
