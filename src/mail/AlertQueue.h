#pragma once

#include "platform/WatchedQueue.h"

#include <QString>
#include <QStringList>

struct TQueueEntry {
    QString address;
    QString subject;
    QString details;
};

// The alert e-mails waiting for delivery. An alert that queues an entry for
// each notify address is one call of the change hook.
class TNotificationQueue : public TWatchedQueue<TQueueEntry> {
public:
    // One entry per notify address, empty ones included, all with subject
    // "Velmora Alert" and the details
    // location + " [ " + address + " ]  " + transition + " on: " + time.
    void QueueAlert(const QStringList& notifyAddresses, const QString& address,
                    const QString& location, const QString& transition, const QString& time);
    static QString AlertDetails(const QString& address, const QString& location,
                                const QString& transition, const QString& time);
};
