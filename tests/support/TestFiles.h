#pragma once

// File and locale helpers that the test folders share.

#include <QByteArray>
#include <QFile>
#include <QLocale>
#include <QString>
#include <gtest/gtest.h>

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

// Switches the default locale for one test.
class TLocaleScope {
public:
    explicit TLocaleScope(const QLocale& l) { QLocale::setDefault(l); }
    ~TLocaleScope() { QLocale::setDefault(saved); }

private:
    QLocale saved;
};
