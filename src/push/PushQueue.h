#pragma once

#include "PushMessage.h"

#include <deque>
#include <functional>

class TIniFile;

// The pushes waiting for the webhook: new entries at the tail, delivery
// from the head. Kept beside the e-mail queue, with a saved section of its
// own so that the e-mail section's format stays as it is.
class TPushQueue {
public:
    void Append(TPushEntry entry) {
        entries.push_back(std::move(entry));
        changed();
    }
    bool IsEmpty() const { return entries.empty(); }
    size_t Count() const { return entries.size(); }
    const TPushEntry& Head() const { return entries.front(); }
    void RemoveHead() {
        entries.pop_front();
        changed();
    }
    void Clear() {
        entries.clear();
        changed();
    }
    const std::deque<TPushEntry>& Entries() const { return entries; }

    // Called after every change.
    void SetOnChange(std::function<void()> f) { onChange = std::move(f); }

private:
    void changed() {
        if (onChange)
            onChange();
    }

    std::deque<TPushEntry> entries;
    std::function<void()> onChange;
};

// The saved pushes: "row-<n>" keys, each the entry's fields joined by TAB
// (state, address, location, time, text). Throws on a failed write.
void SavePushQueueSection(TIniFile& ini, const TPushQueue& queue);
void ErasePushQueueSection(TIniFile& ini);
// Appends the saved entries; one with too few fields keeps what it has.
void RestorePushQueue(const TIniFile& ini, TPushQueue& queue);
