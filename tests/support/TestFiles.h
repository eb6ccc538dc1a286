#pragma once

// File and locale helpers that the test folders share.

#include <QByteArray>
#include <QFile>
#include <QLocale>
#include <QString>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

// The file's bytes, or "<unreadable>" so that a missing file never passes
// for an empty one.
inline QByteArray ReadTestFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return f.readAll();
}

inline void WriteTestFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A full disk, simulated for as long as this lives by a limit on the size
// of the files this process writes, which binds root too: a write past it
// fails (EFBIG) instead of ending the process with SIGXFSZ.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        got = getrlimit(RLIMIT_FSIZE, &saved) == 0;
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = bytes;
        set = got && setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~TFileSizeLimit() {
        if (got)
            setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
    // Whether the limit holds.
    bool Set() const { return set; }

private:
    rlimit saved{};
    void (*previous)(int) = SIG_DFL;
    bool got = false, set = false;
};

// Switches the default locale for one test.
class TLocaleScope {
public:
    explicit TLocaleScope(const QLocale& l) { QLocale::setDefault(l); }
    ~TLocaleScope() { QLocale::setDefault(saved); }

private:
    QLocale saved;
};
