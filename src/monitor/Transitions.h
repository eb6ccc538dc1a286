#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

class TDeviceGrid;

// The notification settings as they stand at this packet.
struct TNotifyPolicy {
    int sitesCritical = 1; // 0 none, 1 critical only, 2 all
    qint64 delaySecs = 0;
    bool notifyOnUp = false;
};

struct TAlert {
    QString address, location, transition, time;
};

// What one packet's outcome did to a device row.
struct TTransitionResult {
    enum class Change { None, Up, Down };
    Change change = Change::None;
    QString logLine;            // the monitor-log line of a change
    std::vector<TAlert> alerts; // to be queued, in order
};

// Applies the Up/DOWN rules and the notification policy to row `row` after an
// echo: sets Status, Since and the Since key on a change, and arms, cancels
// or fires the row's pending notification. `sinceText` is the clock text the
// status bar shows; `t` the instant read after the echo, and `monoMs` the
// same instant on the monotonic clock (-1: unknown), which measures the
// delay so that a step of the wall clock neither hastens nor holds it.
TTransitionResult EvaluateTransition(TDeviceGrid& grid, int row, bool succeeded, const QDateTime& t,
                                     const QString& sinceText, const TNotifyPolicy& policy,
                                     qint64 monoMs = -1);
