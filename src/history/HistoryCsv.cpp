#include "history/HistoryCsv.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

std::optional<qint64> ParseHistoryTime(const QString& text) {
    static const QRegularExpression dateOnly(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    static const QRegularExpression full(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2})(?::(\\d{2}))?(Z|[+-]\\d{2}:?\\d{2})?$"));
    QRegularExpressionMatch m = dateOnly.match(text);
    const bool hasTime = !m.hasMatch();
    if (hasTime)
        m = full.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time = hasTime ? QTime(m.captured(4).toInt(), m.captured(5).toInt(),
                                       m.captured(6).isEmpty() ? 0 : m.captured(6).toInt())
                               : QTime(0, 0);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const QString zone = hasTime ? m.captured(7) : QString();
    QDateTime dt;
    if (zone.isEmpty()) {
        dt = QDateTime(date, time);
    } else if (zone == QLatin1String("Z")) {
        dt = QDateTime(date, time, Qt::UTC);
    } else {
        QString digits = zone.mid(1);
        digits.remove(QLatin1Char(':'));
        const int h = digits.left(2).toInt(), mi = digits.mid(2).toInt();
        if (h > 14 || mi > 59)
            return std::nullopt;
        const int secs = (zone[0] == QLatin1Char('-') ? -1 : 1) * (h * 3600 + mi * 60);
        dt = QDateTime(date, time, Qt::OffsetFromUTC, secs);
    }
    if (!dt.isValid())
        return std::nullopt;
    return dt.toMSecsSinceEpoch();
}

namespace {

QString isoUtc(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

// RFC 4180: a field with a comma, quote or line break is quoted.
QString field(const QString& v) {
    if (!v.contains(QLatin1Char(',')) && !v.contains(QLatin1Char('"')) &&
        !v.contains(QLatin1Char('\n')) && !v.contains(QLatin1Char('\r')))
        return v;
    QString q = v;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString opt(const std::optional<qint32>& v) {
    return v ? QString::number(*v) : QString();
}

} // namespace

QString HistoryCsvHeader() {
    return QStringLiteral("time,address,location,replied,rtt_ms");
}

QString HistoryCsvRow(const THistoryEcho& e) {
    return QStringList{isoUtc(e.timeMs), field(e.address), field(e.location),
                       e.replied ? QStringLiteral("1") : QStringLiteral("0"),
                       e.replied ? QString::number(e.rttMs) : QString()}
        .join(QLatin1Char(','));
}

QString HistoryHourlyCsvHeader() {
    return QStringLiteral(
        "time,address,location,echoes,replies,rtt_min_ms,rtt_median_ms,rtt_max_ms");
}

QString HistoryHourlyCsvRow(const THistoryHour& h) {
    return QStringList{
        isoUtc(h.hourMs),           field(h.address), field(h.location), QString::number(h.echoes),
        QString::number(h.replies), opt(h.rttMin),    opt(h.rttMedian),  opt(h.rttMax)}
        .join(QLatin1Char(','));
}

THistoryCommand ParseHistoryCommand(const QStringList& args) {
    THistoryCommand c;
    auto fail = [&](const QString& why) {
        c.run = false;
        c.exitCode = 2;
        c.err = QStringLiteral("velmora-headless: ") + why;
        return c;
    };
    if (args.size() < 2)
        return fail(QStringLiteral("--history needs an ADDRESS"));
    c.address = args[1];
    for (int i = 2; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--hourly")) {
            c.hourly = true;
        } else if (a == QLatin1String("--since") || a == QLatin1String("--until")) {
            if (i + 1 >= args.size())
                return fail(a + QStringLiteral(" needs a TIME"));
            const std::optional<qint64> t = ParseHistoryTime(args[++i]);
            if (!t)
                return fail(QStringLiteral("cannot read the TIME \"%1\"").arg(args[i]));
            (a == QLatin1String("--since") ? c.sinceMs : c.untilMs) = *t;
        } else {
            return fail(QStringLiteral("unknown option %1").arg(a));
        }
    }
    return c;
}
