#pragma once

#include "DataFile.h"

#include <QString>
#include <QStringList>
#include <variant>

// The address an operator may give a device: inet_addr takes it and it has
// exactly four dotted parts (so no short forms). Kept as typed.
bool AddressRuleHolds(const QString& address);

// The lines of one device: those that load as its address and location, the
// two texts that tell rows apart. Every other line, a device added by hand, a
// line with a typing error, a comment, stays as it is. Each other row of the
// grid with the same address and location keeps one of the lines (one with
// its own flag where the file has one), so a change to one of two like rows
// changes one line.
struct TDeviceLines {
    QString address, location;
    QStringList othersCritical; // the flags of the other like rows
};

// Rewrite rules for the lines of one device.
struct TDeleteRule {
    TDeviceLines device; // dropped
};
struct TEditRule {
    TDeviceLines device; // each becomes address TAB location TAB critical
    QString address, location, critical;
};
using TLineRule = std::variant<TDeleteRule, TEditRule>;

// Rewrites the data file under the rule. The lines the rule leaves are copied
// byte for byte; every line ends in CR LF. A new line is written in the
// file's encoding: Latin-1 when the file holds a line that is not UTF-8 (and
// the line fits in Latin-1), else UTF-8. The new contents go to an
// exclusively created file beside the data file, which replaces it in one
// rename once every byte is written; on any failure the data file is left as
// it was and no temporary file stays. Returns whether the file was replaced.
bool RewriteDataFile(const QString& path, const TLineRule& rule);

// Appends the lines (CR LF each, in the file's encoding as above) to the data
// file, creating it when missing, with a line end first when its last line
// has none, so the first new line never joins it. Written the same safe way;
// when the file cannot be replaced (its folder read-only) the lines are
// appended in place with one write, which is taken back when it falls short.
// False leaves the file as it was.
bool AppendDataFileLines(const QString& path, const QStringList& lines);
