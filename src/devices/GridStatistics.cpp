#include "devices/GridStatistics.h"

#include "devices/DeviceGrid.h"

namespace {

struct TCandidate {
    int row = 1;
    int value = 0;
};

int CellValue(const QString& text) {
    return text.toInt(); // empty or not a number: 0
}

QString Describe(const TDeviceGrid& grid, const TCandidate& c, const char* unit) {
    return grid.Cell(c.row, Col::Address) + QStringLiteral(" / ") +
           grid.Cell(c.row, Col::Location) + QStringLiteral(" / ") + QString::number(c.value) +
           QLatin1String(unit);
}

} // namespace

void RefreshSessionInfo(const TDeviceGrid& grid, int loopCount, int currentRow,
                        TSessionInfoTexts& texts) {
    const int row = currentRow;
    const int n = grid.DeviceCount();
    TCandidate maxAvg{1, CellValue(grid.Cell(1, Col::AvgResp))};
    TCandidate minAvg = maxAvg;
    TCandidate maxOk{1, CellValue(grid.Cell(1, Col::PercentOk))};
    TCandidate minOk = maxOk;
    for (int r = 2; r <= n; ++r) {
        const QString avg = grid.Cell(r, Col::AvgResp);
        if (!avg.isEmpty() && loopCount >= 1) {
            const int v = CellValue(avg);
            if (v > maxAvg.value)
                maxAvg = {r, v};
            if (v < minAvg.value)
                minAvg = {r, v};
            texts.maxAvgRespTime = Describe(grid, maxAvg, "ms");
            texts.minAvgRespTime = Describe(grid, minAvg, "ms");
        }
        const QString ok = grid.Cell(r, Col::PercentOk);
        if (!ok.isEmpty() && loopCount >= 1) {
            const int v = CellValue(ok);
            if (v > maxOk.value)
                maxOk = {r, v};
            if (v < minOk.value)
                minOk = {r, v};
            texts.maxPercOk = Describe(grid, maxOk, "%");
            texts.minPercOk = Describe(grid, minOk, "%");
        }
    }
    texts.loopCount = QString::number(loopCount);
    texts.deviceCount = QString::number(n);
    texts.currentDevice =
        grid.Cell(row, Col::Address) + QStringLiteral(" / ") + grid.Cell(row, Col::Location);
    texts.locationInGrid = QString::number(row) + QStringLiteral(" of ") + QString::number(n);
}
