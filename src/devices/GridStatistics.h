#pragma once

#include <QString>

class TDeviceGrid;

// The eight figures of the session summary, as shown.
struct TSessionInfoTexts {
    QString loopCount;
    QString deviceCount;
    QString maxAvgRespTime;
    QString minAvgRespTime;
    QString maxPercOk;
    QString minPercOk;
    QString currentDevice;
    QString locationInGrid;
};

// Recomputes every figure from the grid and the cycle's counters. The four
// extremes are written only when a row from 2 on has a value and the cycle
// has made a pass; otherwise they keep what `texts` held. Row 1 is the
// starting candidate, an empty cell counting as 0; comparisons are strict,
// so of equal values the upper row is shown.
void RefreshSessionInfo(const TDeviceGrid& grid, int loopCount, int currentRow,
                        TSessionInfoTexts& texts);
