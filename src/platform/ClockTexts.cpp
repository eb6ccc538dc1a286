#include "ClockTexts.h"

#include <QLocale>

QString ClockText(const QDateTime& moment) {
    return QLocale().toString(moment, QStringLiteral("ddd MMM dd, yyyy HH:mm:ss"));
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
