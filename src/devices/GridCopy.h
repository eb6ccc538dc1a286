#pragma once

#include <QString>

class TDeviceGrid;

// The cells of columns left..right (less the hidden Since key) and rows
// top..bottom as TAB-separated lines after a header line; CR LF between
// lines, none after the last.
QString GridSelectionText(const TDeviceGrid& grid, int left, int right, int top, int bottom);
