#pragma once

#include <deque>
#include <functional>
#include <utility>

// A first-in first-out list that tells its owner after every change, so
// that the owner can save it at once: new entries at the tail, delivery
// from the head.
template <typename Entry> class TWatchedQueue {
public:
    void Append(Entry entry) {
        entries.push_back(std::move(entry));
        changed();
    }
    bool IsEmpty() const { return entries.empty(); }
    size_t Count() const { return entries.size(); }
    const Entry& Head() const { return entries.front(); }
    void RemoveHead() {
        entries.pop_front();
        changed();
    }
    void Clear() {
        entries.clear();
        changed();
    }
    const std::deque<Entry>& Entries() const { return entries; }

    // Called after every change.
    void SetOnChange(std::function<void()> f) { onChange = std::move(f); }

protected:
    void changed() {
        if (onChange)
            onChange();
    }

    std::deque<Entry> entries;

private:
    std::function<void()> onChange;
};
