#include "Transitions.h"

#include "devices/DeviceGrid.h"
#include "platform/ClockTexts.h"

#include <cmath>

TTransitionResult EvaluateTransition(TDeviceGrid& grid, int row, bool succeeded, const QDateTime& t,
                                     const QString& sinceText, const TNotifyPolicy& policy,
                                     qint64 monoMs) {
    TTransitionResult result;
    if (row < 1 || row >= grid.RowCount())
        return result;
    const QString status = grid.Cell(row, Col::Status);
    const QString critical = grid.Cell(row, Col::Critical);
    const QString address = grid.Cell(row, Col::Address);
    const QString location = grid.Cell(row, Col::Location);
    PendingNotification& r = grid.Notification(row);
    const bool eligible = policy.sitesCritical == 2 ||
                          (policy.sitesCritical == 1 && critical == QLatin1String("Yes"));
    const qint64 d = policy.delaySecs;

    auto notifyNow = [&](const QString& word, const QString& time) {
        result.alerts.push_back({address, location, word, time});
    };
    auto setState = [&](const QString& word) {
        grid.SetCell(row, Col::Status, word);
        grid.SetCell(row, Col::Since, sinceText);
        grid.SetCell(row, Col::SinceKey, SinceKey(t));
        result.logLine = word + QLatin1Char('\t') + address + QLatin1Char('\t') + sinceText +
                         QLatin1Char('\t') + location;
    };

    if (succeeded && (status == QLatin1String("DOWN") || status.isEmpty())) {
        // A first answer (empty status) is shown and logged but never mailed.
        if (eligible && !status.isEmpty()) {
            if (d == 0 && policy.notifyOnUp) {
                notifyNow(QStringLiteral("Up"), sinceText);
                r.pending = false;
            } else if (!r.pending && policy.notifyOnUp) {
                r = {true, t, monoMs};
            } else if (r.pending) {
                r = {false, t, monoMs};
            }
        }
        setState(QStringLiteral("Up"));
        result.change = TTransitionResult::Change::Up;
    } else if (!succeeded && (status == QLatin1String("Up") || status.isEmpty())) {
        if (eligible) {
            if (d == 0) {
                notifyNow(QStringLiteral("DOWN"), sinceText);
                r.pending = false;
            } else if (!r.pending) {
                r = {true, t, monoMs};
            } else {
                r = {false, t, monoMs};
            }
        }
        setState(QStringLiteral("DOWN"));
        result.change = TTransitionResult::Change::Down;
    }

    // Delayed notification: the device is still in its new state more than
    // the delay after the change.
    if (r.pending && r.transitionTime.isValid()) {
        const qint64 e = r.transitionMonoMs >= 0 && monoMs >= 0
                             ? (monoMs - r.transitionMonoMs) / 1000
                             : std::llabs(r.transitionTime.secsTo(t));
        if (d < e && (policy.notifyOnUp || !succeeded)) {
            notifyNow(succeeded ? QStringLiteral("Up") : QStringLiteral("DOWN"),
                      ClockText(r.transitionTime));
            r.pending = false;
        }
    }
    return result;
}
