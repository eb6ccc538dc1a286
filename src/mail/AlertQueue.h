#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

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

    void Append(TQueueEntry entry) {
        entries.push_back(std::move(entry));
        changed();
    }
    bool IsEmpty() const { return entries.empty(); }
    size_t Count() const { return entries.size(); }
    const TQueueEntry& Head() const { return entries.front(); }
    void RemoveHead() {
        entries.pop_front();
        changed();
    }
    void Clear() {
        entries.clear();
        changed();
    }
    const std::deque<TQueueEntry>& Entries() const { return entries; }

    // Called after every change (one call for all the entries of an alert).
    void SetOnChange(std::function<void()> f) { onChange = std::move(f); }

private:
    void changed() {
        if (onChange)
            onChange();
    }

    std::deque<TQueueEntry> entries;
    std::function<void()> onChange;
};
