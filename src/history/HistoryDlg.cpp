#include "HistoryDlg.h"

#include "history/HistoryCsv.h"
#include "platform/FileFolders.h"
#include "platform/Prompts.h"
#include "platform/TextLines.h"

#include <QApplication>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

namespace {

struct TRangeChoice {
    const char* caption;
    const char* fileTag;
    qint64 ms;
};
constexpr qint64 HourMs = 3600 * 1000;
// Enough points for a wide window; a year of echoes stays a small chart.
constexpr int kBuckets = 240;
const TRangeChoice kRanges[] = {
    {"Last hour", "last-hour", HourMs},
    {"Last 24 hours", "last-24-hours", 24 * HourMs},
    {"Last 7 days", "last-7-days", 7 * 24 * HourMs},
    {"Last 30 days", "last-30-days", 30 * 24 * HourMs},
    {"Last year", "last-year", 365 * 24 * HourMs},
};

QString ms(const std::optional<qint32>& v) {
    return v ? QString::number(*v) : QStringLiteral("-");
}

// The lower middle of weighted times, as a whole millisecond.
std::optional<qint32> weightedMedian(std::vector<std::pair<qint32, qint64>>& times) {
    if (times.empty())
        return std::nullopt;
    std::sort(times.begin(), times.end());
    qint64 total = 0;
    for (const auto& t : times)
        total += t.second;
    const qint64 middle = (total - 1) / 2;
    qint64 seen = 0;
    for (const auto& t : times) {
        seen += t.second;
        if (seen > middle)
            return t.first;
    }
    return times.back().first;
}

} // namespace

std::vector<THistoryBucket> BucketHistory(const std::vector<THistoryEcho>& echoes,
                                          const std::vector<THistoryHour>& hours, qint64 sinceMs,
                                          qint64 untilMs, int count) {
    const qint64 width = std::max<qint64>(1, (untilMs - sinceMs + count - 1) / count);
    struct Acc {
        std::vector<std::pair<qint32, qint64>> times;
        qint32 lo = 0, hi = 0;
    };
    std::vector<Acc> acc(size_t(std::max(count, 1)));
    auto add = [&](qint64 t, qint32 lo, qint32 median, qint32 hi, qint64 weight) {
        if (t < sinceMs || t > untilMs)
            return;
        Acc& a = acc[size_t(std::min<qint64>((t - sinceMs) / width, qint64(acc.size()) - 1))];
        a.lo = a.times.empty() ? lo : std::min(a.lo, lo);
        a.hi = a.times.empty() ? hi : std::max(a.hi, hi);
        a.times.push_back({median, weight});
    };
    for (const THistoryEcho& e : echoes)
        if (e.replied)
            add(e.timeMs, e.rttMs, e.rttMs, e.rttMs, 1);
    for (const THistoryHour& h : hours)
        if (h.replies > 0 && h.rttMin && h.rttMedian && h.rttMax)
            add(h.hourMs, *h.rttMin, *h.rttMedian, *h.rttMax, h.replies);
    std::vector<THistoryBucket> out;
    for (size_t i = 0; i < acc.size(); ++i)
        if (!acc[i].times.empty())
            out.push_back(
                {sinceMs + qint64(i) * width, acc[i].lo, *weightedMedian(acc[i].times), acc[i].hi});
    return out;
}

THistorySummary SummarizeHistory(const std::vector<THistoryEcho>& echoes,
                                 const std::vector<THistoryHour>& hours) {
    THistorySummary s;
    // (time, how many replies it stands for)
    std::vector<std::pair<qint32, qint64>> times;
    auto take = [&](qint32 lo, qint32 hi) {
        s.rttMin = s.rttMin ? std::min(*s.rttMin, lo) : lo;
        s.rttMax = s.rttMax ? std::max(*s.rttMax, hi) : hi;
    };
    for (const THistoryEcho& e : echoes) {
        ++s.echoes;
        if (!e.replied) {
            ++s.lost;
            continue;
        }
        take(e.rttMs, e.rttMs);
        times.push_back({e.rttMs, 1});
    }
    for (const THistoryHour& h : hours) {
        s.echoes += h.echoes;
        s.lost += h.echoes - h.replies;
        if (h.replies > 0 && h.rttMin && h.rttMax && h.rttMedian) {
            take(*h.rttMin, *h.rttMax);
            times.push_back({*h.rttMedian, h.replies});
        }
    }
    s.rttMedian = weightedMedian(times);
    return s;
}

QString HistorySummaryText(const THistorySummary& s) {
    const double p = s.echoes ? double(s.echoes - s.lost) * 100.0 / double(s.echoes) : 0.0;
    return QStringLiteral("Availability: %1 %, %2 echoes, %3 lost, RTT min %4 ms, median %5 ms, "
                          "max %6 ms")
        .arg(QString::number(p, 'f', 2))
        .arg(s.echoes)
        .arg(s.lost)
        .arg(ms(s.rttMin), ms(s.rttMedian), ms(s.rttMax));
}

qint64 THistoryDlg::RangeMs(int index) {
    return kRanges[std::clamp(index, 0, int(std::size(kRanges)) - 1)].ms;
}

THistoryDlg::THistoryDlg(const QString& storePath, const QString& address_, const QString& location,
                         QWidget* parent)
    : QDialog(parent), path(storePath), address(address_) {
    setObjectName(QStringLiteral("HistoryDlg"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("History: ") + address + QLatin1Char(' ') + location);

    ComboRange = new QComboBox;
    ComboRange->setObjectName(QStringLiteral("ComboRange"));
    for (const TRangeChoice& r : kRanges)
        ComboRange->addItem(QLatin1String(r.caption));
    ComboRange->setCurrentIndex(1);
    auto* rangeLabel = new QLabel(QStringLiteral("Range:"));
    rangeLabel->setBuddy(ComboRange);

    LabelSummary = new QLabel;
    LabelSummary->setObjectName(QStringLiteral("LabelSummary"));
    // A location or address never becomes markup here.
    LabelSummary->setTextFormat(Qt::PlainText);
    LabelSummary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    LabelSummary->setFocusPolicy(Qt::StrongFocus);

    ButtonExport = new QPushButton(QStringLiteral("Export CSV..."));
    ButtonExport->setObjectName(QStringLiteral("ButtonExport"));
    ButtonClose = new QPushButton(QStringLiteral("Close"));
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));

    auto* top = new QHBoxLayout;
    top->addWidget(rangeLabel);
    top->addWidget(ComboRange);
    top->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonExport);
    buttons->addWidget(ButtonClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(LabelSummary);
    ChartHistory = new QChartView;
    ChartHistory->setObjectName(QStringLiteral("ChartHistory"));
    ChartHistory->setRenderHint(QPainter::Antialiasing);
    ChartHistory->setMinimumHeight(240);
    layout->addWidget(ChartHistory, 1);
    layout->addLayout(buttons);
    resize(760, 480);

    connect(ComboRange, &QComboBox::currentIndexChanged, this, &THistoryDlg::query);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::close);
    connect(ButtonExport, &QPushButton::clicked, this, &THistoryDlg::exportCsv);
    // New echoes reach the file within a second or so; a few seconds' lag
    // costs nothing and keeps the reads rare.
    follow = new QTimer(this);
    follow->setInterval(5000);
    connect(follow, &QTimer::timeout, this, &THistoryDlg::query);
    follow->start();
    query();
}

void THistoryDlg::query() {
    if (busy) {
        again = true;
        return;
    }
    busy = true;
    again = false;
    auto rows = std::make_shared<Rows>();
    rows->untilMs = QDateTime::currentMSecsSinceEpoch();
    rows->sinceMs = rows->untilMs - RangeMs(ComboRange->currentIndex());
    QPointer<THistoryDlg> guard(this);
    const QString file = path, who = address;
    QThreadPool::globalInstance()->start([guard, rows, file, who] {
        if (QFileInfo::exists(file)) {
            rows->echoes = THistoryStore::QueryEchoes(file, who, rows->sinceMs, rows->untilMs);
            rows->hours = THistoryStore::QueryHours(file, who, rows->sinceMs, rows->untilMs);
        }
        rows->buckets =
            BucketHistory(rows->echoes, rows->hours, rows->sinceMs, rows->untilMs, kBuckets);
        // Back on the GUI thread; the dialog may have closed meanwhile.
        QMetaObject::invokeMethod(
            qApp,
            [guard, rows] {
                if (guard)
                    guard->showRows(rows);
            },
            Qt::QueuedConnection);
    });
}

void THistoryDlg::showRows(std::shared_ptr<const Rows> rows) {
    busy = false;
    // The range changed meanwhile: these rows are stale.
    if (again) {
        query();
        return;
    }
    shown = std::move(rows);
    const QString text = HistorySummaryText(SummarizeHistory(shown->echoes, shown->hours));
    LabelSummary->setText(text);
    LabelSummary->setAccessibleName(text);
    drawChart();
    emit Loaded();
}

void THistoryDlg::exportCsv() {
    if (!shown)
        return;
    const TRangeChoice& r = kRanges[ComboRange->currentIndex()];
    QString name = address + QLatin1Char('-') + QLatin1String(r.fileTag) + QStringLiteral(".csv");
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    const QString file = Prompts().SaveFileName(QStringLiteral("Export CSV"),
                                                QStringLiteral("CSV files (*.csv)|*.csv"),
                                                QStringLiteral("csv"), DataFolder() + name);
    if (file.isEmpty())
        return;
    QString csv = HistoryCsvHeader() + QLatin1Char('\n');
    for (const THistoryEcho& e : shown->echoes)
        csv += HistoryCsvRow(e) + QLatin1Char('\n');
    if (!TextLines::WriteBytes(file, csv.toUtf8()))
        Prompts().Message(QStringLiteral("Cannot create file %1").arg(file),
                          QStringLiteral("Velmora"), TPrompts::Buttons::Ok, TPrompts::Icon::Error);
}

void THistoryDlg::SetDownColor(const QColor& c) {
    downColor = c;
    if (shown)
        drawChart();
}

void THistoryDlg::drawChart() {
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto* median = new QLineSeries;
    median->setName(QStringLiteral("Median"));
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    qint32 top = 1;
    for (const THistoryBucket& b : shown->buckets) {
        median->append(double(b.startMs), b.rttMedian);
        upper->append(double(b.startMs), b.rttMax);
        lower->append(double(b.startMs), b.rttMin);
        top = std::max(top, b.rttMax);
    }
    auto* band = new QAreaSeries(upper, lower);
    band->setName(QStringLiteral("Min - max"));
    QColor fill(70, 130, 180);
    fill.setAlpha(60);
    band->setBrush(fill);
    band->setPen(Qt::NoPen);
    auto* lost = new QScatterSeries;
    lost->setName(QStringLiteral("Lost"));
    lost->setColor(downColor);
    lost->setBorderColor(downColor);
    lost->setMarkerSize(7);
    for (const THistoryEcho& e : shown->echoes)
        if (!e.replied)
            lost->append(double(e.timeMs), 0);
    for (const THistoryHour& h : shown->hours)
        if (h.echoes > h.replies)
            lost->append(double(h.hourMs), 0);
    chart->addSeries(band);
    chart->addSeries(median);
    chart->addSeries(lost);

    auto* x = new QDateTimeAxis;
    // QDateTime from milliseconds shows local time.
    const qint64 span = shown->untilMs - shown->sinceMs;
    x->setFormat(span <= 24 * HourMs ? QStringLiteral("HH:mm") : QStringLiteral("yyyy-MM-dd"));
    x->setRange(QDateTime::fromMSecsSinceEpoch(shown->sinceMs),
                QDateTime::fromMSecsSinceEpoch(shown->untilMs));
    x->setTitleText(QStringLiteral("Local time"));
    auto* y = new QValueAxis;
    y->setRange(0, top * 1.1);
    y->setTitleText(QStringLiteral("ms"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    QChart* old = ChartHistory->chart();
    ChartHistory->setChart(chart);
    delete old;
}
