#include "history/HistoryStore.h"

#include <QByteArray>
#include <algorithm>
#include <chrono>
#include <map>
#include <sqlite3.h>
#include <tuple>

namespace {

constexpr qint64 DayMs = 24LL * 3600 * 1000;
constexpr qint64 HourMs = 3600LL * 1000;

const char* const Schema = R"sql(
CREATE TABLE IF NOT EXISTS echo (
    t INTEGER NOT NULL, address TEXT NOT NULL, location TEXT NOT NULL,
    replied INTEGER NOT NULL, rtt INTEGER);
CREATE INDEX IF NOT EXISTS echo_address_t ON echo(address, t);
CREATE INDEX IF NOT EXISTS echo_t ON echo(t);
CREATE TABLE IF NOT EXISTS hour (
    t INTEGER NOT NULL, address TEXT NOT NULL, location TEXT NOT NULL,
    echoes INTEGER NOT NULL, replies INTEGER NOT NULL,
    rtt_min INTEGER, rtt_median INTEGER, rtt_max INTEGER,
    PRIMARY KEY(address, t, location));
CREATE INDEX IF NOT EXISTS hour_t ON hour(t);
CREATE TABLE IF NOT EXISTS change (
    t INTEGER NOT NULL, address TEXT NOT NULL, up INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS change_address_t ON change(address, t);
)sql";

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void bindText(sqlite3_stmt* s, int i, const QString& v) {
    const QByteArray u = v.toUtf8();
    sqlite3_bind_text(s, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt* s, int i) {
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, i)),
                             sqlite3_column_bytes(s, i));
}

// A read-only connection that waits briefly for the writer's checkpoint
// instead of failing at once.
sqlite3* openReader(const QString& path, QString* error) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        if (error)
            *error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    return db;
}

} // namespace

THistoryStore::~THistoryStore() {
    Close();
}

bool THistoryStore::Open(const QString& path) {
    Close();
    if (sqlite3_open_v2(path.toUtf8().constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db, 2000);
    // WAL: readers (the dialog, --history in another process) never block the
    // writer; synchronous=NORMAL keeps the file whole after a crash and loses
    // at most the last commit, which is at most a second of echoes.
    if (!exec(db, "PRAGMA journal_mode=WAL") || !exec(db, "PRAGMA synchronous=NORMAL") ||
        !exec(db, Schema)) {
        error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        db = nullptr;
        return false;
    }
    stopping = false;
    writer = std::thread([this] { writerLoop(); });
    return true;
}

void THistoryStore::Close() {
    if (!db)
        return;
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (writer.joinable())
        writer.join();
    sqlite3_close(db);
    db = nullptr;
}

void THistoryStore::RecordEcho(const THistoryEcho& e) {
    if (!db)
        return;
    std::lock_guard lock(mutex);
    queue.push_back({true, e, false});
    ++queuedSeq;
}

void THistoryStore::RecordChange(qint64 timeMs, const QString& address, bool up) {
    if (!db)
        return;
    std::lock_guard lock(mutex);
    Pending p;
    p.isEcho = false;
    p.echo.timeMs = timeMs;
    p.echo.address = address;
    p.up = up;
    queue.push_back(std::move(p));
    ++queuedSeq;
}

void THistoryStore::Flush() {
    if (!db)
        return;
    std::unique_lock lock(mutex);
    const quint64 target = queuedSeq;
    wake.notify_all();
    flushed.wait(lock, [&] { return committedSeq >= target; });
}

void THistoryStore::writerLoop() {
    using Clock = std::chrono::steady_clock;
    auto nextUpkeep = Clock::now() + std::chrono::seconds(5);
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait_for(lock, std::chrono::milliseconds(500),
                      [&] { return stopping || committedSeq < queuedSeq; });
        // Gather for a moment so that one transaction holds many rows.
        if (!stopping && committedSeq < queuedSeq)
            wake.wait_for(lock, std::chrono::milliseconds(200), [&] { return stopping; });
        std::deque<Pending> rows;
        rows.swap(queue);
        const quint64 seq = queuedSeq;
        const bool stop = stopping;
        lock.unlock();
        if (!rows.empty())
            commit(rows);
        lock.lock();
        committedSeq = seq;
        flushed.notify_all();
        if (stop && queue.empty())
            return;
        if (retentionDays > 0 && Clock::now() >= nextUpkeep) {
            const int days = retentionDays;
            lock.unlock();
            const qint64 now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
            // One small step, then back to the queue; more steps follow soon.
            const bool more = maintainStep(now, days, 2000);
            nextUpkeep = Clock::now() + (more ? std::chrono::seconds(1) : std::chrono::minutes(1));
            lock.lock();
        }
    }
}

void THistoryStore::commit(std::deque<Pending>& rows) {
    exec(db, "BEGIN");
    sqlite3_stmt* echo = nullptr;
    sqlite3_stmt* change = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO echo(t,address,location,replied,rtt) VALUES(?,?,?,?,?)", -1,
                       &echo, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO change(t,address,up) VALUES(?,?,?)", -1, &change, nullptr);
    for (const Pending& p : rows) {
        sqlite3_stmt* s = p.isEcho ? echo : change;
        sqlite3_bind_int64(s, 1, p.echo.timeMs);
        bindText(s, 2, p.echo.address);
        if (p.isEcho) {
            bindText(s, 3, p.echo.location);
            sqlite3_bind_int(s, 4, p.echo.replied ? 1 : 0);
            if (p.echo.replied)
                sqlite3_bind_int(s, 5, p.echo.rttMs);
            else
                sqlite3_bind_null(s, 5);
        } else {
            sqlite3_bind_int(s, 3, p.up ? 1 : 0);
        }
        sqlite3_step(s);
        sqlite3_reset(s);
    }
    sqlite3_finalize(echo);
    sqlite3_finalize(change);
    exec(db, "COMMIT");
}

bool THistoryStore::Maintain(qint64 nowMs, int keepDays, int batch) {
    if (!db)
        return false;
    Flush();
    return maintainStep(nowMs, keepDays, batch);
}

void THistoryStore::SetRetention(int keepDays) {
    std::lock_guard lock(mutex);
    retentionDays = keepDays;
}

bool THistoryStore::maintainStep(qint64 nowMs, int keepDays, int batch) {
    bool more = false;
    const qint64 rawLimit = nowMs - RawDays * DayMs;
    // Fold whole hours only, oldest first, so a partly folded hour never
    // meets its remaining raw rows twice.
    exec(db, "BEGIN IMMEDIATE");
    sqlite3_stmt* pick = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT t, address, location, replied, rtt FROM echo WHERE t < ? "
                       "ORDER BY t LIMIT ?",
                       -1, &pick, nullptr);
    sqlite3_bind_int64(pick, 1, (rawLimit / HourMs) * HourMs);
    sqlite3_bind_int(pick, 2, batch);
    struct Key {
        qint64 hour;
        QString address, location;
        bool operator<(const Key& o) const {
            return std::tie(hour, address, location) < std::tie(o.hour, o.address, o.location);
        }
    };
    std::map<Key, std::pair<int, std::vector<qint32>>> hours;
    int picked = 0;
    qint64 lastT = 0;
    while (sqlite3_step(pick) == SQLITE_ROW) {
        ++picked;
        lastT = sqlite3_column_int64(pick, 0);
        Key k{(lastT / HourMs) * HourMs, columnText(pick, 1), columnText(pick, 2)};
        auto& h = hours[k];
        ++h.first;
        if (sqlite3_column_int(pick, 3))
            h.second.push_back(sqlite3_column_int(pick, 4));
    }
    sqlite3_finalize(pick);
    if (picked > 0) {
        // A batch cut inside an hour takes that whole hour, so that its
        // figures are folded once.
        const qint64 endHour = (lastT / HourMs) * HourMs + HourMs;
        if (picked == batch) {
            hours.clear();
            sqlite3_stmt* all = nullptr;
            sqlite3_prepare_v2(db,
                               "SELECT t, address, location, replied, rtt FROM echo WHERE t < ? "
                               "ORDER BY t",
                               -1, &all, nullptr);
            sqlite3_bind_int64(all, 1, std::min(endHour, (rawLimit / HourMs) * HourMs));
            while (sqlite3_step(all) == SQLITE_ROW) {
                const qint64 t = sqlite3_column_int64(all, 0);
                Key k{(t / HourMs) * HourMs, columnText(all, 1), columnText(all, 2)};
                auto& h = hours[k];
                ++h.first;
                if (sqlite3_column_int(all, 3))
                    h.second.push_back(sqlite3_column_int(all, 4));
            }
            sqlite3_finalize(all);
            more = true;
        }
        sqlite3_stmt* put = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO hour(t,address,location,echoes,replies,rtt_min,"
                           "rtt_median,rtt_max) VALUES(?,?,?,?,?,?,?,?) "
                           "ON CONFLICT(address,t,location) DO UPDATE SET "
                           "echoes=echoes+excluded.echoes, replies=replies+excluded.replies, "
                           "rtt_min=min(coalesce(rtt_min,excluded.rtt_min),"
                           "coalesce(excluded.rtt_min,rtt_min)), "
                           "rtt_max=max(coalesce(rtt_max,excluded.rtt_max),"
                           "coalesce(excluded.rtt_max,rtt_max)), "
                           "rtt_median=coalesce(excluded.rtt_median,rtt_median)",
                           -1, &put, nullptr);
        for (auto& [k, h] : hours) {
            auto& rtts = h.second;
            sqlite3_bind_int64(put, 1, k.hour);
            bindText(put, 2, k.address);
            bindText(put, 3, k.location);
            sqlite3_bind_int(put, 4, h.first);
            sqlite3_bind_int(put, 5, int(rtts.size()));
            if (rtts.empty()) {
                for (int i = 6; i <= 8; ++i)
                    sqlite3_bind_null(put, i);
            } else {
                std::sort(rtts.begin(), rtts.end());
                sqlite3_bind_int(put, 6, rtts.front());
                sqlite3_bind_int(put, 7, rtts[rtts.size() / 2]);
                sqlite3_bind_int(put, 8, rtts.back());
            }
            sqlite3_step(put);
            sqlite3_reset(put);
        }
        sqlite3_finalize(put);
        sqlite3_stmt* del = nullptr;
        sqlite3_prepare_v2(db, "DELETE FROM echo WHERE t < ?", -1, &del, nullptr);
        sqlite3_bind_int64(del, 1,
                           picked == batch ? std::min(endHour, (rawLimit / HourMs) * HourMs)
                                           : (rawLimit / HourMs) * HourMs);
        sqlite3_step(del);
        sqlite3_finalize(del);
    }
    exec(db, "COMMIT");

    if (keepDays > 0) {
        const qint64 keepLimit = nowMs - qint64(keepDays) * DayMs;
        for (const char* table : {"hour", "echo", "change"}) {
            const QByteArray sql = QByteArray("DELETE FROM ") + table +
                                   " WHERE rowid IN (SELECT rowid FROM " + table +
                                   " WHERE t < ? LIMIT ?)";
            sqlite3_stmt* del = nullptr;
            sqlite3_prepare_v2(db, sql.constData(), -1, &del, nullptr);
            sqlite3_bind_int64(del, 1, keepLimit);
            sqlite3_bind_int(del, 2, batch);
            sqlite3_step(del);
            sqlite3_finalize(del);
            if (sqlite3_changes(db) == batch)
                more = true;
        }
    }
    return more;
}

std::vector<THistoryEcho> THistoryStore::QueryEchoes(const QString& path, const QString& address,
                                                     qint64 sinceMs, qint64 untilMs,
                                                     QString* error) {
    std::vector<THistoryEcho> out;
    sqlite3* db = openReader(path, error);
    if (!db)
        return out;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT t, location, replied, rtt FROM echo WHERE address = ? "
                           "AND t >= ? AND t <= ? ORDER BY t, rowid",
                           -1, &s, nullptr) == SQLITE_OK) {
        bindText(s, 1, address);
        sqlite3_bind_int64(s, 2, sinceMs);
        sqlite3_bind_int64(s, 3, untilMs);
        while (sqlite3_step(s) == SQLITE_ROW) {
            THistoryEcho e;
            e.timeMs = sqlite3_column_int64(s, 0);
            e.address = address;
            e.location = columnText(s, 1);
            e.replied = sqlite3_column_int(s, 2) != 0;
            e.rttMs = sqlite3_column_int(s, 3);
            out.push_back(std::move(e));
        }
    } else if (error) {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
}

std::vector<THistoryHour> THistoryStore::QueryHours(const QString& path, const QString& address,
                                                    qint64 sinceMs, qint64 untilMs,
                                                    QString* error) {
    std::vector<THistoryHour> out;
    sqlite3* db = openReader(path, error);
    if (!db)
        return out;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT t, location, echoes, replies, rtt_min, rtt_median, rtt_max "
                           "FROM hour WHERE address = ? AND t >= ? AND t <= ? ORDER BY t",
                           -1, &s, nullptr) == SQLITE_OK) {
        bindText(s, 1, address);
        sqlite3_bind_int64(s, 2, sinceMs);
        sqlite3_bind_int64(s, 3, untilMs);
        auto opt = [&](int i) -> std::optional<qint32> {
            if (sqlite3_column_type(s, i) == SQLITE_NULL)
                return std::nullopt;
            return sqlite3_column_int(s, i);
        };
        while (sqlite3_step(s) == SQLITE_ROW) {
            THistoryHour h;
            h.hourMs = sqlite3_column_int64(s, 0);
            h.address = address;
            h.location = columnText(s, 1);
            h.echoes = sqlite3_column_int(s, 2);
            h.replies = sqlite3_column_int(s, 3);
            h.rttMin = opt(4);
            h.rttMedian = opt(5);
            h.rttMax = opt(6);
            out.push_back(std::move(h));
        }
    } else if (error) {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
}
