// The window's side of the history: "Keep History (days):" on Monitor Setup,
// shown from the settings file and applied without a restart; "History..."
// on the grid's popup menu and the dialog it opens.
#include "TestFiles.h"
#include "TestSupport.h"
#include "WaitFor.h"
#include "WindowTest.h"
#include "devices/GridView.h"
#include "history/HistoryCsv.h"
#include "history/HistoryDlg.h"
#include "history/HistoryStore.h"
#include "monitor/MonitorSetupPage.h"
#include "platform/FileFolders.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QApplication>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFileInfo>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QTest>
#include <QValueAxis>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct HistoryWindowTest : TRunningWindowTest {
    QString store() const { return DataFolder() + THistoryStore::FileName(); }

    // Two devices probed as fast as the cycle goes.
    void openWith(const QByteArray& settings) {
        open("10.0.0.1\talpha\r\n10.0.0.2\tbeta\r\n",
             "VelmoraInterSiteDelay=1\r\nVelmoraInterPacketDelay=100\r\n" + settings);
    }
    QSpinBox* spin() { return Named<QSpinBox>(*form, "UpDownHistoryDays"); }
    void enter(int days) {
        QSpinBox* s = spin();
        s->setFocus();
        s->selectAll();
        QTest::keyClicks(s, QString::number(days));
        QTest::keyClick(s, Qt::Key_Tab);
        QTest::mouseClick(page()->ButtonApplySettings, Qt::LeftButton);
    }
    size_t echoes() const {
        return THistoryStore::QueryEchoes(store(), QStringLiteral("10.0.0.1"), 0,
                                          QDateTime::currentMSecsSinceEpoch() + 60000)
            .size();
    }
};

TEST_F(HistoryWindowTest, TheFieldIsTheBuddyOfItsLabelAndShowsTheKey) {
    ASSERT_NO_FATAL_FAILURE(openWith("HistoryDays=45\r\n"));
    QSpinBox* s = spin();
    ASSERT_TRUE(s);
    const QLabel* label = nullptr;
    for (const QLabel* l : page()->findChildren<QLabel*>())
        if (l->text() == QLatin1String("Keep History (days):"))
            label = l;
    ASSERT_TRUE(label) << "no \"Keep History (days):\" label";
    EXPECT_EQ(label->buddy(), s);
    EXPECT_EQ(s->minimum(), 0);
    EXPECT_EQ(s->maximum(), 3650);
    EXPECT_EQ(s->value(), 45);
}

TEST_F(HistoryWindowTest, ApplyOpensTheStoreFromZeroAndClosesItAtZero) {
    ASSERT_NO_FATAL_FAILURE(openWith("HistoryDays=0\r\n"));
    EXPECT_EQ(spin()->value(), 0);
    QTest::qWait(1500);
    EXPECT_FALSE(QFileInfo::exists(store())) << "0 writes no file";

    enter(30);
    EXPECT_TRUE(ReadTestFile(ini()).contains("HistoryDays=30\r\n"));
    ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(store()) && echoes() > 0; }, 10000))
        << "no echoes kept after Apply";

    enter(0);
    EXPECT_TRUE(ReadTestFile(ini()).contains("HistoryDays=0\r\n"));
    // Whatever was queued is committed on close; nothing after.
    QTest::qWait(500);
    const size_t kept = echoes();
    QTest::qWait(2500);
    EXPECT_EQ(echoes(), kept) << "echoes still kept at 0";

    // The next start shows what Apply wrote.
    reopen();
    EXPECT_EQ(spin()->value(), 0);
}

constexpr qint64 MinuteMs = 60 * 1000;
constexpr qint64 HourMs = 60 * MinuteMs;
constexpr qint64 DayMs = 24 * HourMs;

// A made-up store: the window records nothing (HistoryDays=0), so the
// dialog's figures are known to the echo.
struct HistoryDialogTest : HistoryWindowTest {
    qint64 now = QDateTime::currentMSecsSinceEpoch();

    void SetUp() override {
        THistoryStore s;
        ASSERT_TRUE(s.Open(store())) << s.LastError().toStdString();
        auto put = [&](qint64 t, bool replied, qint32 rtt, const char* address = "10.0.0.1") {
            s.RecordEcho({t, QLatin1String(address), QStringLiteral("alpha"), replied, rtt});
        };
        for (qint32 rtt : {5, 7, 9})
            put(now - 10 * MinuteMs + rtt, true, rtt);
        put(now - 9 * MinuteMs, false, 0);
        put(now - 8 * MinuteMs, false, 0);
        put(now - 7 * MinuteMs, true, 1, "10.0.0.2"); // another device
        put(now - 5 * HourMs, true, 20);
        put(now - 5 * HourMs + 1000, false, 0);
        // Past the raw window: folded into one hourly row.
        const qint64 old = (now - 60 * DayMs) - (now - 60 * DayMs) % HourMs;
        put(old + 1000, true, 100);
        put(old + 2000, true, 200);
        put(old + 3000, false, 0);
        s.Flush();
        while (s.Maintain(now, 400))
            ;
        s.Close();
        ASSERT_TRUE(THistoryStore::QueryEchoes(store(), "10.0.0.1", 0, now - 31 * DayMs).empty());
        // A DOWN colour of its own: R 0x20, G 0x40, B 0x80.
        ASSERT_NO_FATAL_FAILURE(openWith("HistoryDays=0\r\nVelmoraDeviceDownColor=8405024\r\n"));
        form->show();
    }

    TGridView* grid() { return Named<TGridView>(*form, "sg"); }

    // Right-click on the row and choose "History..." from the popup menu.
    THistoryDlg* historyOf(int row) {
        TGridView* g = grid();
        const QPoint at = g->visualRect(g->model()->index(row - 1, 0)).center();
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, g->viewport()->mapToGlobal(at));
        QApplication::sendEvent(g->viewport(), &e);
        QMenu* menu = g->PopupMenuVelmoraGrid;
        EXPECT_TRUE(menu->isVisible());
        QAction* history = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == QLatin1String("History..."))
                history = a;
        EXPECT_TRUE(history && history->isEnabled());
        menu->close();
        const QList<THistoryDlg*> before = form->findChildren<THistoryDlg*>();
        if (!history)
            return nullptr;
        history->trigger();
        for (THistoryDlg* d : form->findChildren<THistoryDlg*>())
            if (!before.contains(d))
                return d;
        return nullptr;
    }
    // The summary once the dialog's read for the current range is shown.
    QString summaryAfter(THistoryDlg* d, const std::function<void()>& change) {
        bool loaded = false;
        auto c = QObject::connect(d, &THistoryDlg::Loaded, [&] { loaded = true; });
        change();
        WaitFor([&] { return loaded; }, 5000);
        QObject::disconnect(c);
        return loaded ? d->LabelSummary->text() : QStringLiteral("(never loaded)");
    }
};

TEST_F(HistoryDialogTest, TheLastEntryOfThePopupMenuAfterCopyAndASeparator) {
    const QList<QAction*> actions = grid()->PopupMenuVelmoraGrid->actions();
    ASSERT_GE(actions.size(), 3);
    EXPECT_EQ(actions.last()->text(), QStringLiteral("History..."));
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions[actions.size() - 3]->text(), QStringLiteral("&Copy"));
}

TEST_F(HistoryDialogTest, OpensModelessForTheRowUnderThePointerSeveralAtOnce) {
    THistoryDlg* first = historyOf(1);
    ASSERT_TRUE(first);
    THistoryDlg* second = historyOf(2);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("History: 10.0.0.1 alpha"));
    EXPECT_EQ(second->windowTitle(), QStringLiteral("History: 10.0.0.2 beta"));
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(first->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Close closes that one only.
    QPointer<THistoryDlg> gone(first);
    QTest::mouseClick(first->ButtonClose, Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return gone.isNull(); }, 2000));
    EXPECT_TRUE(second->isVisible());
}

TEST_F(HistoryDialogTest, RangeChangesTheSummaryCountingTheStoredEchoes) {
    THistoryDlg* d = historyOf(1);
    ASSERT_TRUE(d);
    QComboBox* range = d->ComboRange;
    QStringList captions;
    for (int i = 0; i < range->count(); ++i)
        captions << range->itemText(i);
    EXPECT_EQ(captions, QStringList({"Last hour", "Last 24 hours", "Last 7 days", "Last 30 days",
                                     "Last year"}));
    EXPECT_EQ(d->LabelSummary->textFormat(), Qt::PlainText);

    const struct {
        const char* range;
        const char* summary;
    } cases[] = {
        {"Last hour",
         "Availability: 60.00 %, 5 echoes, 2 lost, RTT min 5 ms, median 7 ms, max 9 ms"},
        {"Last 24 hours",
         "Availability: 57.14 %, 7 echoes, 3 lost, RTT min 5 ms, median 7 ms, max 20 ms"},
        {"Last 30 days",
         "Availability: 57.14 %, 7 echoes, 3 lost, RTT min 5 ms, median 7 ms, max 20 ms"},
        // The folded hour counts too.
        {"Last year",
         "Availability: 60.00 %, 10 echoes, 4 lost, RTT min 5 ms, median 9 ms, max 200 ms"},
    };
    for (const auto& c : cases) {
        const QString shown = summaryAfter(
            d, [&] { range->setCurrentIndex(range->findText(QLatin1String(c.range))); });
        EXPECT_EQ(shown, QLatin1String(c.summary)) << c.range;
        EXPECT_EQ(d->LabelSummary->accessibleName(), shown) << "read by a screen reader";
    }

    // The same echoes as the command line's read of the file.
    summaryAfter(d, [&] { range->setCurrentIndex(range->findText("Last 24 hours")); });
    const auto rows = THistoryStore::QueryEchoes(store(), "10.0.0.1", now - DayMs, now + 60000);
    EXPECT_TRUE(d->LabelSummary->text().contains(QStringLiteral(", %1 echoes,").arg(rows.size())));
}

TEST_F(HistoryDialogTest, ExportWritesTheCommandLinesCsvOfTheRange) {
    THistoryDlg* d = historyOf(1);
    ASSERT_TRUE(d);
    summaryAfter(d, [&] { d->ComboRange->setCurrentIndex(d->ComboRange->findText("Last hour")); });
    const QString target = folder.file("out.csv");
    prompts.fileNames.push_back(target);
    QTest::mouseClick(d->ButtonExport, Qt::LeftButton);
    ASSERT_EQ(prompts.fileDialogs.size(), 1u);
    EXPECT_EQ(prompts.fileDialogs[0].kind, TScriptedPrompts::Kind::SaveFile);

    QByteArray expected = HistoryCsvHeader().toUtf8() + "\n";
    for (const THistoryEcho& e :
         THistoryStore::QueryEchoes(store(), "10.0.0.1", now - HourMs, now + 60000))
        expected += HistoryCsvRow(e).toUtf8() + "\n";
    EXPECT_EQ(ReadTestFile(target), expected);
    EXPECT_EQ(ReadTestFile(target).count('\n'), 6) << "header and the hour's five echoes";
}

TEST_F(HistoryDialogTest, TheChartDrawsMedianBandAndLossesInTheDownColour) {
    THistoryDlg* d = historyOf(1);
    ASSERT_TRUE(d);
    auto series = [&](const char* name) -> QAbstractSeries* {
        for (QAbstractSeries* s : d->ChartHistory->chart()->series())
            if (s->name() == QLatin1String(name))
                return s;
        return nullptr;
    };
    struct Case {
        const char* range;
        int lost;
        int firstMedianMs, topMs;
    };
    // Last hour: one stretch holds 5, 7 and 9 ms; the day adds 20 ms.
    for (const Case c : {Case{"Last hour", 2, 7, 9}, Case{"Last 24 hours", 3, 20, 20},
                         Case{"Last year", 4, 0, 200}}) {
        summaryAfter(d, [&] { d->ComboRange->setCurrentIndex(d->ComboRange->findText(c.range)); });
        auto* median = qobject_cast<QLineSeries*>(series("Median"));
        auto* band = qobject_cast<QAreaSeries*>(series("Min - max"));
        auto* lost = qobject_cast<QScatterSeries*>(series("Lost"));
        ASSERT_TRUE(median && band && lost) << c.range;
        EXPECT_EQ(lost->count(), c.lost) << c.range;
        EXPECT_EQ(lost->color(), QColor(0x20, 0x40, 0x80)) << c.range;
        for (const QPointF& p : lost->points())
            EXPECT_EQ(p.y(), 0) << "on the time axis";
        ASSERT_GT(median->count(), 0) << c.range;
        // The earliest stretch with replies comes first; the folded hour's
        // median is the store's.
        if (c.firstMedianMs > 0) {
            EXPECT_EQ(median->at(0).y(), c.firstMedianMs) << c.range;
        }
        double top = 0;
        for (const QPointF& p : band->upperSeries()->points())
            top = std::max(top, p.y());
        EXPECT_EQ(top, c.topMs) << c.range;
        for (int i = 0; i < median->count(); ++i) {
            EXPECT_LE(band->lowerSeries()->at(i).y(), median->at(i).y());
            EXPECT_GE(band->upperSeries()->at(i).y(), median->at(i).y());
        }

        const auto xs = d->ChartHistory->chart()->axes(Qt::Horizontal);
        ASSERT_EQ(xs.size(), 1);
        auto* x = qobject_cast<QDateTimeAxis*>(xs[0]);
        ASSERT_TRUE(x);
        EXPECT_EQ(x->max().timeSpec(), Qt::LocalTime);
        EXPECT_NEAR(double(x->max().toMSecsSinceEpoch()), double(now), 60000.0);
        EXPECT_NEAR(double(x->max().toMSecsSinceEpoch() - x->min().toMSecsSinceEpoch()),
                    double(THistoryDlg::RangeMs(d->ComboRange->currentIndex())), 1.0);
        const auto ys = d->ChartHistory->chart()->axes(Qt::Vertical);
        ASSERT_EQ(ys.size(), 1);
        EXPECT_EQ(ys[0]->titleText(), QStringLiteral("ms"));
    }
}

} // namespace
