#pragma once

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct sqlite3;

// One monitoring echo as the history keeps it; instants are UTC milliseconds
// since the epoch.
struct THistoryEcho {
    qint64 timeMs = 0;
    QString address;
    QString location;
    bool replied = false;
    qint32 rttMs = 0;
};

// One hour of echoes of a device, folded from the raw rows once they are
// older than the raw window.
struct THistoryHour {
    qint64 hourMs = 0;
    QString address;
    QString location;
    int echoes = 0;
    int replies = 0;
    std::optional<qint32> rttMin, rttMedian, rttMax;
};

// The probe history in one SQLite file. Callers only queue rows; a writer
// thread commits the queue in one transaction at least once a second, so an
// echo costs the GUI thread a lock and a push. Reads open their own
// connection: WAL lets them run beside the writer and beside another process.
class THistoryStore {
public:
    static constexpr int RawDays = 30;

    THistoryStore() = default;
    ~THistoryStore();
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // Opens (creating) the file and starts the writer. False with the reason
    // in LastError() when the file cannot be opened.
    bool Open(const QString& path);
    void Close(); // commits what is queued, then stops the writer
    bool IsOpen() const { return db != nullptr; }
    QString LastError() const { return error; }

    void RecordEcho(const THistoryEcho& e);
    void RecordChange(qint64 timeMs, const QString& address, bool up);
    // Commits everything queued so far before returning (tests, close).
    void Flush();

    // One step of upkeep: folds at most `batch` raw rows older than the raw
    // window into hourly rows and deletes at most `batch` rows older than
    // `keepDays`. Returns true when more work remains. Small steps keep the
    // write lock short.
    bool Maintain(qint64 nowMs, int keepDays, int batch = 5000);
    // The writer then runs one such step a minute by itself, between commits.
    void SetRetention(int keepDays);

    // Read side, on a connection of its own (any thread, any process).
    static std::vector<THistoryEcho> QueryEchoes(const QString& path, const QString& address,
                                                 qint64 sinceMs, qint64 untilMs,
                                                 QString* error = nullptr);
    static std::vector<THistoryHour> QueryHours(const QString& path, const QString& address,
                                                qint64 sinceMs, qint64 untilMs,
                                                QString* error = nullptr);

    static QString FileName() { return QStringLiteral("velmora-history.sqlite"); }

private:
    struct Pending {
        bool isEcho = true;
        THistoryEcho echo;
        bool up = false;
    };
    void writerLoop();
    void commit(std::deque<Pending>& rows);
    bool maintainStep(qint64 nowMs, int keepDays, int batch);

    sqlite3* db = nullptr;
    QString error;
    std::mutex mutex;
    std::condition_variable wake, flushed;
    std::deque<Pending> queue;
    quint64 queuedSeq = 0, committedSeq = 0;
    bool stopping = false;
    int retentionDays = 0;
    std::thread writer;
};
