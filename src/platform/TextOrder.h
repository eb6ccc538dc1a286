#pragma once

#include <QCollator>
#include <QString>
#include <functional>
#include <vector>

// The case-insensitive, locale-aware text order of the grid and the data file
// (AnsiCompareText). Make a key once per text and compare keys when sorting
// many rows. Uses the default locale at construction.
class TTextOrder {
public:
    TTextOrder();
    QCollatorSortKey Key(const QString& text) const;
    int Compare(const QString& a, const QString& b) const;

private:
    QCollator collator;
    // The C locale's collator compares code points and ignores the case
    // setting in its keys, so texts are case-folded first there.
    bool foldCase = false;
};

// The stable order of `keys`, as indices into them: ascending, or with
// `descending` the other way round, equal keys in their given order either
// way. Keys first go into buckets between the members of a sorted sample and
// then sort bucket by bucket, while a bucket's keys stay in cache, half of
// them on a second thread: a million keys sort several times faster than
// with one stable_sort over them all.
std::vector<quint32> StableKeyOrder(const std::vector<QCollatorSortKey>& keys,
                                    bool descending = false);

// Sort keys of the default locale's text order for texts 0..n-1, which
// textOf(i, text) writes into `text`. From kSideBySideFrom texts on, half of
// them are made on a second thread, so textOf must only read shared data.
constexpr size_t kSideBySideFrom = 16384;
std::vector<QCollatorSortKey> MakeSortKeys(size_t n,
                                           const std::function<void(size_t, QString&)>& textOf);
