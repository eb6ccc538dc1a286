#pragma once

#include <QString>
#include <QStringList>
#include <ostream>

// Readable Qt texts in GoogleTest's failure messages, for every test binary.
void PrintTo(const QString& s, std::ostream* os);
void PrintTo(const QStringList& list, std::ostream* os);
