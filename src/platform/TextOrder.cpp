#include "TextOrder.h"

#include "SideBySide.h"

#include <QLocale>
#include <QVarLengthArray>
#include <algorithm>
#include <numeric>

TTextOrder::TTextOrder() : collator(QLocale()) {
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    foldCase = QLocale().language() == QLocale::C;
}

QCollatorSortKey TTextOrder::Key(const QString& text) const {
    return collator.sortKey(foldCase ? text.toCaseFolded() : text);
}

int TTextOrder::Compare(const QString& a, const QString& b) const {
    if (foldCase)
        return collator.compare(a.toCaseFolded(), b.toCaseFolded());
    return collator.compare(a, b);
}

std::vector<quint32> StableKeyOrder(const std::vector<QCollatorSortKey>& keys, bool descending) {
    const size_t n = keys.size();
    std::vector<quint32> order(n);
    const auto before = [&](quint32 a, quint32 b) {
        return descending ? keys[b].compare(keys[a]) < 0 : keys[a].compare(keys[b]) < 0;
    };
    constexpr size_t kPerBucket = 1024;
    constexpr size_t kMaxBuckets = 4096;
    if (n < 4 * kPerBucket) {
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), before);
        return order;
    }
    const size_t buckets = std::min(n / kPerBucket, kMaxBuckets);
    // Every fourth member of an evenly spread, sorted sample bounds a bucket.
    std::vector<quint32> sample(4 * buckets);
    for (size_t i = 0; i < sample.size(); ++i)
        sample[i] = quint32(i * n / sample.size());
    std::sort(sample.begin(), sample.end(), before);
    std::vector<quint32> bounds(buckets - 1);
    for (size_t b = 1; b < buckets; ++b)
        bounds[b - 1] = sample[4 * b];

    // A key goes past every bound not after it, so equal keys share a bucket;
    // within one they keep their given order until the bucket sorts stably.
    std::vector<quint16> bucketOf(n);
    const auto findBuckets = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            bucketOf[i] =
                quint16(std::upper_bound(bounds.begin(), bounds.end(), quint32(i), before) -
                        bounds.begin());
    };
    RunSideBySide([&] { findBuckets(0, n / 2); }, [&] { findBuckets(n / 2, n); });
    std::vector<quint32> start(buckets + 1, 0);
    for (quint16 b : bucketOf)
        ++start[size_t(b) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<quint32> next(start.begin(), start.end() - 1);
    for (size_t i = 0; i < n; ++i)
        order[next[bucketOf[i]]++] = quint32(i);
    std::vector<quint16>().swap(bucketOf);

    // Buckets are independent: half the keys sort on each thread.
    const size_t middle =
        size_t(std::lower_bound(start.begin(), start.end(), quint32(n / 2)) - start.begin());
    const auto sortBuckets = [&](size_t from, size_t to) {
        for (size_t b = from; b < to; ++b)
            std::stable_sort(order.begin() + start[b], order.begin() + start[b + 1], before);
    };
    RunSideBySide([&] { sortBuckets(0, middle); }, [&] { sortBuckets(middle, buckets); });
    return order;
}

std::vector<QCollatorSortKey> MakeSortKeys(size_t n,
                                           const std::function<void(size_t, QString&)>& textOf) {
    // One collator per thread: a collator sets itself up on first use.
    const TTextOrder order, otherOrder;
    const auto make = [&](const TTextOrder& o, size_t from, size_t to,
                          std::vector<QCollatorSortKey>& keys) {
        QString text;
        for (size_t i = from; i < to; ++i) {
            textOf(i, text);
            keys.push_back(o.Key(text));
        }
    };
    std::vector<QCollatorSortKey> keys, rest;
    keys.reserve(n);
    if (n < kSideBySideFrom) {
        make(order, 0, n, keys);
        return keys;
    }
    rest.reserve(n - n / 2);
    RunSideBySide([&] { make(order, 0, n / 2, keys); }, [&] { make(otherOrder, n / 2, n, rest); });
    keys.insert(keys.end(), rest.begin(), rest.end());
    return keys;
}
