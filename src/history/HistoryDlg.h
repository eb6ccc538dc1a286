#pragma once

#include "history/HistoryStore.h"

#include <QDialog>
#include <memory>

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

// What one range of a device's history adds up to.
// One stretch of the chart's time axis that had replies.
struct THistoryBucket {
    qint64 startMs = 0;
    qint32 rttMin = 0, rttMedian = 0, rttMax = 0;
};
// The range cut into `count` equal stretches; only those with replies.
std::vector<THistoryBucket> BucketHistory(const std::vector<THistoryEcho>& echoes,
                                          const std::vector<THistoryHour>& hours, qint64 sinceMs,
                                          qint64 untilMs, int count);

struct THistorySummary {
    qint64 echoes = 0;
    qint64 lost = 0;
    std::optional<qint32> rttMin, rttMedian, rttMax;
};
// Raw echoes and hourly rows together; a folded hour's median stands for
// each of its replies.
THistorySummary SummarizeHistory(const std::vector<THistoryEcho>& echoes,
                                 const std::vector<THistoryHour>& hours);
QString HistorySummaryText(const THistorySummary& s);

// "History: " + address + " " + location: one device's history over a
// chosen range. Modeless; the reads run on the thread pool, each on its own
// connection, so a year of rows never holds the window up.
class THistoryDlg : public QDialog {
    Q_OBJECT
public:
    THistoryDlg(const QString& storePath, const QString& address, const QString& location,
                QWidget* parent = nullptr);

    QComboBox* ComboRange;
    QLabel* LabelSummary;
    QPushButton* ButtonExport;
    QPushButton* ButtonClose;
    QChartView* ChartHistory;
    // Lost echoes are marked in it.
    void SetDownColor(const QColor& c);

    // The range's length in milliseconds, by the combo's index.
    static qint64 RangeMs(int index);

signals:
    // A query's rows are shown (tests wait on it).
    void Loaded();

private:
    struct Rows {
        qint64 sinceMs = 0, untilMs = 0;
        std::vector<THistoryEcho> echoes;
        std::vector<THistoryHour> hours;
        std::vector<THistoryBucket> buckets;
    };
    void drawChart();
    void query();
    void showRows(std::shared_ptr<const Rows> rows);
    void exportCsv();

    QString path, address;
    QTimer* follow;
    QColor downColor{Qt::red};
    bool busy = false, again = false;
    std::shared_ptr<const Rows> shown;
};
