#include "history/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

constexpr qint64 HourMs = 3600LL * 1000;
constexpr qint64 DayMs = 24 * HourMs;
// A fixed "now" on an hour boundary, so hours in the fixture are whole.
constexpr qint64 Now = 1796000400000LL - 1796000400000LL % HourMs;

THistoryEcho echo(qint64 t, bool replied, qint32 rtt, const QString& address = "10.0.0.1") {
    return {t, address, "Rack 1", replied, rtt};
}

qint64 count(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    qint64 n = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
        n = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return n;
}

struct HistoryStoreTest : ::testing::Test {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(THistoryStore::FileName()); }
};

TEST_F(HistoryStoreTest, EchoesComeBackInTimeOrderWithLossesAndCut) {
    THistoryStore store;
    ASSERT_TRUE(store.Open(path())) << store.LastError().toStdString();
    store.RecordEcho(echo(Now + 3000, false, 0));
    store.RecordEcho(echo(Now + 1000, true, 12));
    store.RecordEcho(echo(Now + 2000, true, 7));
    store.RecordEcho(echo(Now + 2500, true, 9, "10.0.0.2"));
    store.Flush();
    const auto all = THistoryStore::QueryEchoes(path(), "10.0.0.1", 0, Now + DayMs);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].timeMs, Now + 1000);
    EXPECT_EQ(all[0].rttMs, 12);
    EXPECT_EQ(all[2].replied, false);
    EXPECT_EQ(all[2].location, "Rack 1");
    const auto cut = THistoryStore::QueryEchoes(path(), "10.0.0.1", Now + 1500, Now + 2000);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].rttMs, 7);
    EXPECT_TRUE(THistoryStore::QueryEchoes(path(), "10.9.9.9", 0, Now + DayMs).empty());
    EXPECT_TRUE(QFile::exists(path() + "-wal")); // WAL mode: readers beside the writer
}

TEST_F(HistoryStoreTest, WriterCommitsWithinASecondWithoutFlush) {
    THistoryStore store;
    ASSERT_TRUE(store.Open(path()));
    store.RecordEcho(echo(Now, true, 5));
    // Another connection, as --history in another process would open.
    bool seen = false;
    for (int i = 0; i < 30 && !seen; ++i) {
        QThread::msleep(50);
        seen = THistoryStore::QueryEchoes(path(), "10.0.0.1", 0, Now + 1).size() == 1;
    }
    EXPECT_TRUE(seen);
}

// Rows written through the store with old instants: raw rows past 30 days
// fold into hourly rows, rows past the kept days go, recent rows stay raw.
TEST_F(HistoryStoreTest, RetentionFoldsOldRowsHourlyAndRemovesExpired) {
    THistoryStore store;
    ASSERT_TRUE(store.Open(path()));
    const qint64 oldHour = Now - 40 * DayMs;
    const qint32 rtts[] = {30, 10, 20, 50};
    for (int i = 0; i < 4; ++i)
        store.RecordEcho(echo(oldHour + i * 60000, true, rtts[i]));
    store.RecordEcho(echo(oldHour + 10 * 60000, false, 0));
    store.RecordEcho(echo(oldHour + HourMs + 5, false, 0)); // next hour, all lost
    store.RecordEcho(echo(Now - 500 * DayMs, true, 1));     // past HistoryDays
    store.RecordEcho(echo(Now - 2 * DayMs, true, 4));       // recent: stays raw
    store.RecordChange(Now - 500 * DayMs, "10.0.0.1", false);
    store.RecordChange(Now - 2 * DayMs, "10.0.0.1", true);
    // Small steps: a batch of 2 needs several calls and must fold each hour once.
    int steps = 0;
    while (store.Maintain(Now, 400, 2) && steps < 100)
        ++steps;
    EXPECT_GT(steps, 0);

    const auto hours = THistoryStore::QueryHours(path(), "10.0.0.1", 0, Now);
    ASSERT_EQ(hours.size(), 2u);
    EXPECT_EQ(hours[0].hourMs, oldHour);
    EXPECT_EQ(hours[0].echoes, 5);
    EXPECT_EQ(hours[0].replies, 4);
    EXPECT_EQ(hours[0].rttMin, 10);
    EXPECT_EQ(hours[0].rttMedian, 30); // upper median of 10 20 30 50
    EXPECT_EQ(hours[0].rttMax, 50);
    EXPECT_EQ(hours[1].echoes, 1);
    EXPECT_EQ(hours[1].replies, 0);
    EXPECT_FALSE(hours[1].rttMin.has_value());

    const auto raw = THistoryStore::QueryEchoes(path(), "10.0.0.1", 0, Now);
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].timeMs, Now - 2 * DayMs);
    EXPECT_EQ(count(path(), "SELECT count(*) FROM change"), 1);
}

} // namespace
