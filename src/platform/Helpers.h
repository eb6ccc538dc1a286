#pragma once

#include <QCollator>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// Pieces of `text` between occurrences of `separator`. Each piece before a
// separator counts, even when empty; the rest after the last separator counts
// only when it is not empty. Nothing is trimmed.
QStringList SplitText(const QString& text, const QString& separator);

// Recent-list rule: an exact (case-sensitive) match changes nothing; otherwise
// the text is appended while there is room, and when the list is full every
// entry moves down one place, the last is dropped and the text goes first.
// Returns whether the list changed.
bool AddToRecentList(QStringList& list, const QString& text, int maximum = 10);

// An IPv4 address given in network byte order as "a.b.c.d".
QString DottedText(quint32 networkOrder);

// The address rule of inet_addr(3): dotted decimal and the shorter, octal and
// hex forms. 255.255.255.255 is refused, as inet_addr cannot tell it from its
// error value. Returns the address in network byte order.
std::optional<quint32> InetAddr(QStringView text);
inline std::optional<quint32> InetAddr(const QString& text) {
    return InetAddr(QStringView(text));
}
inline bool IsValidAddress(const QString& text) {
    return InetAddr(text).has_value();
}

// "ddd mmm dd, yyyy hh:nn:ss" with the abbreviated names of the default
// locale (the system's unless QLocale::setDefault changed it).
QString ClockText(const QDateTime& moment);

// A sortable text for an instant, and its way back. The round trip keeps the
// moment to the second.
QString SinceKey(const QDateTime& moment);
std::optional<QDateTime> ParseSinceKey(const QString& key);
// A number that orders Since keys by their moment, as local date and time,
// made without time-zone arithmetic so that sorting 100,000 keys stays cheap.
// Nothing when the text does not parse back to a moment.
std::optional<qint64> SinceKeyOrder(const QString& key);

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

// Runs `here` on this thread and `there` on a second one at the same time,
// and returns once both are done; one after the other when no thread starts.
void RunSideBySide(const std::function<void()>& here, const std::function<void()>& there);

// The executable's folder, ending in exactly one "/".
QString ProgramFolder();
// Tests point the program at a folder of their own; empty restores the real
// one. The files' folders are chosen again after it.
void SetProgramFolderForTesting(const QString& folder);

// The path of `name` in `folder`, matching an existing file whatever the
// letter case; when none exists, the path as given.
QString FindFileAnyCase(const QString& folder, const QString& name);
