#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// The texts of instants: the clock shown to the operator and the sortable Since key.

// "ddd mmm dd, yyyy hh:nn:ss" with the abbreviated names of the default
// locale (the system's unless QLocale::setDefault changed it).
QString ClockText(const QDateTime& moment);

// A sortable text for an instant, and its way back. The round trip keeps the
// moment to the second.
QString SinceKey(const QDateTime& moment);
std::optional<QDateTime> ParseSinceKey(const QString& key);
// A number that orders Since keys by their moment, as local date and time,
// made without time-zone arithmetic so that sorting 100,000 keys stays cheap.
// Nothing when the text does not parse back to a moment.
std::optional<qint64> SinceKeyOrder(const QString& key);
