#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

class TDeviceGrid;

// One accepted device line of a data file.
struct TDeviceEntry {
    QString address;
    QString location;
    QString critical; // "Yes" or "No"
};

// The device a data-file line names, or nothing for a comment, a short line,
// a bad address or a wrong number of fields.
std::optional<TDeviceEntry> ParseDataFileLine(const QString& line);

// Why a line that is neither a device, a comment nor blank was left out.
enum class TIgnoredLine { BadAddress, FieldCount, TooShort };

// "bad address", "wrong field count", "too short".
QString IgnoredLineText(TIgnoredLine reason);

// Why `line` gives no device; nothing for a device line, a comment or a
// line of blanks, which are left out on purpose.
std::optional<TIgnoredLine> DataFileLineFault(const QString& line);

// What a load made of the file, for a front end without a grid to show it.
struct TDataFileLoadReport {
    qsizetype loaded = 0;           // devices
    qsizetype ignored = 0;          // lines with a fault
    qsizetype firstIgnoredLine = 0; // its number, from 1; 0 when none
    TIgnoredLine firstReason = TIgnoredLine::TooShort;
};

// The devices of a data-file-format file in the order of the grid at
// start-up (by location, then address); nothing when it cannot be read.
std::optional<std::vector<TDeviceEntry>> ReadDataFileEntries(const QString& path);

// Whether `path` names a file to load; when it does not, a load gives the
// loopback row.
bool NamesDataFile(const QString& path);

// Rebuilds every device row from the file at `path`. An empty path, a missing
// file or a file without an accepted line gives the loopback row. Returns
// false only when the file exists but cannot be read; the grid then holds its
// header row alone. Rows are ordered by location, then address.
// With `report`, what was loaded and left out is counted there.
bool LoadDataFile(TDeviceGrid& grid, const QString& path, const QDateTime& now,
                  TDataFileLoadReport* report = nullptr);

// Appends "127.0.0.1", "loopback", "No", with a Since key a year old.
void AddLoopbackRow(TDeviceGrid& grid, const QDateTime& now);

// A data-file line as the program writes it: address TAB location TAB flag.
QString DataFileLine(const TDeviceEntry& entry);
