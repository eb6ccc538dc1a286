#pragma once

#include "DataFile.h"

#include <QString>
#include <QStringList>
#include <variant>

// The address an operator may give a device: inet_addr takes it and it has
// exactly four dotted parts (so no short forms). Kept as typed.
bool AddressRuleHolds(const QString& address);

// Rewrite rules for the device lines of the data file.
struct TDeleteRule {
    // The addresses still in the grid; a device line whose first field is
    // none of these (ignoring letter case), or is empty, is dropped.
    QStringList remaining;
};
struct TEditRule {
    // Every device line whose first field is exactly `previous` becomes
    // address TAB location TAB critical.
    QString previous, address, location, critical;
};
using TLineRule = std::variant<TDeleteRule, TEditRule>;

// Rewrites the data file under the rule. Comment lines, short lines and
// lines the rule keeps are copied byte for byte; every line ends in CR LF.
// The new contents go to an exclusively created file beside the data file,
// which replaces it in one rename once every byte is written; on any failure
// the data file is left as it was and no temporary file stays. Returns
// whether the file was replaced.
bool RewriteDataFile(const QString& path, const TLineRule& rule);

// Appends the lines (CR LF each) to the data file, creating it when missing,
// with a line end first when its last line has none, so the first new line
// never joins it. Written the same safe way; false leaves the file as it was.
bool AppendDataFileLines(const QString& path, const QStringList& lines);
