#include "Helpers.h"

#include "FileFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <arpa/inet.h>

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

std::optional<quint32> InetAddr(const QString& text) {
    // inet_addr stops at a NUL; a text with one inside cannot be an address.
    if (text.contains(QChar(0)))
        return std::nullopt;
    const QByteArray bytes = text.toLatin1();
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
