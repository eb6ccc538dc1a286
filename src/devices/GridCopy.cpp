#include "GridCopy.h"

#include "DeviceGrid.h"

#include <QStringList>
#include <algorithm>

QString GridSelectionText(const TDeviceGrid& grid, int left, int right, int top, int bottom) {
    QList<int> columns;
    for (int c = std::max(left, 0); c <= std::min(right, int(Col::Count) - 1); ++c)
        if (c != Col::SinceKey)
            columns << c;
    auto line = [&](int row) {
        QStringList cells;
        for (int c : columns)
            cells << grid.Cell(row, c);
        return cells.join(QLatin1Char('\t'));
    };
    QStringList lines;
    for (int r = std::max(top, 1); r <= std::min(bottom, grid.DeviceCount()); ++r)
        lines << line(r);
    return line(0) + QStringLiteral("\r\n") + lines.join(QStringLiteral("\r\n"));
}
