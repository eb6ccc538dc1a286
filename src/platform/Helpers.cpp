#include "Helpers.h"

#include "FileFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QVarLengthArray>
#include <algorithm>
#include <arpa/inet.h>
#include <numeric>
#include <system_error>
#include <thread>

QStringList SplitText(const QString& text, const QString& separator) {
    QStringList pieces;
    if (separator.isEmpty()) {
        if (!text.isEmpty())
            pieces << text;
        return pieces;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, from);
        if (at < 0)
            break;
        pieces << text.mid(from, at - from);
        from = at + separator.size();
    }
    if (from < text.size())
        pieces << text.mid(from);
    return pieces;
}

bool AddToRecentList(QStringList& list, const QString& text, int maximum) {
    if (list.contains(text, Qt::CaseSensitive))
        return false;
    if (list.size() < maximum) {
        list.append(text);
        return true;
    }
    if (maximum <= 0)
        return false;
    while (list.size() > maximum)
        list.removeLast();
    list.removeLast();
    list.prepend(text);
    return true;
}

QString DottedText(quint32 networkOrder) {
    const auto* b = reinterpret_cast<const unsigned char*>(&networkOrder);
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

std::optional<quint32> InetAddr(QStringView text) {
    // inet_addr stops at a NUL; a text with one inside cannot be an address.
    if (text.contains(QChar(0)))
        return std::nullopt;
    // As Latin-1, a character beyond it as '?'; on the stack, as a data file
    // checks one address a line.
    QVarLengthArray<char, 64> bytes(text.size() + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        bytes[i] = c < 0x100 ? char(c) : '?';
    }
    bytes[text.size()] = '\0';
    const in_addr_t a = inet_addr(bytes.constData());
    if (a == INADDR_NONE)
        return std::nullopt;
    return quint32(a);
}

QString ClockText(const QDateTime& moment) {
    return QLocale().toString(moment, QStringLiteral("ddd MMM dd, yyyy HH:mm:ss"));
}

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

void RunSideBySide(const std::function<void()>& here, const std::function<void()>& there) {
    std::optional<std::thread> thread;
    try {
        thread.emplace(there);
    } catch (const std::system_error&) {
        // No thread to be had: the same work, one part after the other.
    }
    here();
    if (thread)
        thread->join();
    else
        there();
}

static const QString kSinceFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString SinceKey(const QDateTime& moment) {
    return moment.toString(kSinceFormat);
}

std::optional<QDateTime> ParseSinceKey(const QString& key) {
    QDateTime t = QDateTime::fromString(key.trimmed(), kSinceFormat);
    if (!t.isValid())
        t = QDateTime::fromString(key.trimmed(), Qt::ISODate);
    if (!t.isValid())
        return std::nullopt;
    return t;
}

namespace {

qint64 wallClockOrder(int y, int mo, int d, int h, int mi, int sec) {
    return ((((qint64(y) * 12 + (mo - 1)) * 31 + (d - 1)) * 24 + h) * 60 + mi) * 60 + sec;
}

// The digits at text[from, from + n), or -1.
int digits(const QChar* text, int from, int n) {
    int v = 0;
    for (int i = from; i < from + n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

} // namespace

std::optional<qint64> SinceKeyOrder(const QString& key) {
    // Fast path for the form SinceKey writes: "yyyy-MM-dd HH:mm:ss".
    if (key.size() == 19) {
        const QChar* t = key.constData();
        if (t[4] == u'-' && t[7] == u'-' && t[10] == u' ' && t[13] == u':' && t[16] == u':') {
            const int y = digits(t, 0, 4), mo = digits(t, 5, 2), d = digits(t, 8, 2);
            const int h = digits(t, 11, 2), mi = digits(t, 14, 2), sec = digits(t, 17, 2);
            if (QDate::isValid(y, mo, d) && QTime::isValid(h, mi, sec))
                return wallClockOrder(y, mo, d, h, mi, sec);
        }
    }
    const auto moment = ParseSinceKey(key);
    if (!moment)
        return std::nullopt;
    const QDate date = moment->date();
    const QTime time = moment->time();
    return wallClockOrder(date.year(), date.month(), date.day(), time.hour(), time.minute(),
                          time.second());
}

namespace {
QMutex folderMutex;
QString folderOverride;
} // namespace

QString ProgramFolder() {
    QString folder;
    {
        QMutexLocker lock(&folderMutex);
        folder = folderOverride;
    }
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    while (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)
        folder.chop(1);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

void SetProgramFolderForTesting(const QString& folder) {
    {
        QMutexLocker lock(&folderMutex);
        folderOverride = folder;
    }
    ResetFileFoldersForTesting();
}

QString FindFileAnyCase(const QString& folder, const QString& name) {
    QDir dir(folder);
    const QString exact = dir.filePath(name);
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(e);
    return exact;
}
