#pragma once

#include <QString>
#include <QStringList>
#include <deque>

struct TQueueEntry {
    QString address;
    QString subject;
    QString details;
};

// The alert e-mails waiting for delivery: new entries at the tail, delivery
// from the head.
class TNotificationQueue {
public:
    // One entry per notify address, empty ones included, all with subject
    // "Velmora Alert" and the details
    // location + " [ " + address + " ]  " + transition + " on: " + time.
    void QueueAlert(const QStringList& notifyAddresses, const QString& address,
                    const QString& location, const QString& transition, const QString& time);
    static QString AlertDetails(const QString& address, const QString& location,
                                const QString& transition, const QString& time);

    void Append(TQueueEntry entry) { entries.push_back(std::move(entry)); }
    bool IsEmpty() const { return entries.empty(); }
    size_t Count() const { return entries.size(); }
    const TQueueEntry& Head() const { return entries.front(); }
    void RemoveHead() { entries.pop_front(); }
    void Clear() { entries.clear(); }
    const std::deque<TQueueEntry>& Entries() const { return entries; }

private:
    std::deque<TQueueEntry> entries;
};
