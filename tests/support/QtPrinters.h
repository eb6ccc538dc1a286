#pragma once

#include <QString>
#include <ostream>

// Readable gtest failure output for Qt texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
