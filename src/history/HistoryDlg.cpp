#include "HistoryDlg.h"

#include "history/HistoryCsv.h"
#include "platform/FileFolders.h"
#include "platform/Prompts.h"
#include "platform/TextLines.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

struct TRangeChoice {
    const char* caption;
    const char* fileTag;
    qint64 ms;
};
constexpr qint64 HourMs = 3600 * 1000;
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

} // namespace

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
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        qint64 total = 0;
        for (const auto& t : times)
            total += t.second;
        // The lower middle for an even count, as a whole millisecond.
        const qint64 middle = (total - 1) / 2;
        qint64 seen = 0;
        for (const auto& t : times) {
            seen += t.second;
            if (seen > middle) {
                s.rttMedian = t.first;
                break;
            }
        }
    }
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
    layout->addWidget(LabelSummary, 1);
    layout->addLayout(buttons);
    resize(640, 400);

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
