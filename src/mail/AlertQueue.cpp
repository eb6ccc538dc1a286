#include "AlertQueue.h"

QString TNotificationQueue::AlertDetails(const QString& address, const QString& location,
                                         const QString& transition, const QString& time) {
    return location + QStringLiteral(" [ ") + address + QStringLiteral(" ]  ") + transition +
           QStringLiteral(" on: ") + time;
}

void TNotificationQueue::QueueAlert(const QStringList& notifyAddresses, const QString& address,
                                    const QString& location, const QString& transition,
                                    const QString& time) {
    // Texts are kept whole: cutting a long location would lose what the
    // operator needs to know.
    const QString details = AlertDetails(address, location, transition, time);
    for (const QString& to : notifyAddresses)
        entries.push_back({to, QStringLiteral("Velmora Alert"), details});
    if (!notifyAddresses.isEmpty())
        changed();
}
