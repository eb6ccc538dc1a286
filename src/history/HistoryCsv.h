#pragma once

#include "history/HistoryStore.h"

#include <QString>
#include <QStringList>
#include <limits>
#include <optional>
#include <vector>

// "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM[:SS]" with "Z" or an offset; local time
// without one. UTC milliseconds, or nothing for a text it cannot read.
std::optional<qint64> ParseHistoryTime(const QString& text);

// The CSV that --history prints and "Export CSV..." writes.
QString HistoryCsvHeader();
QString HistoryCsvRow(const THistoryEcho& e);
QString HistoryHourlyCsvHeader();
QString HistoryHourlyCsvRow(const THistoryHour& h);

// The options after --history; run == false with exitCode and err when
// they cannot be read.
struct THistoryCommand {
    bool run = true;
    int exitCode = 0;
    QString err;
    QString address;
    qint64 sinceMs = 0;
    qint64 untilMs = std::numeric_limits<qint64>::max();
    bool hourly = false;
};
THistoryCommand ParseHistoryCommand(const QStringList& arguments);
