#pragma once

#include "IniFile.h"

#include <QString>
#include <QStringList>

// The section most settings keys live in, shared by several subsystems.
inline const QString kMainSection = QStringLiteral("VELMORA Settings");

// A value with its up-down range; reads are clamped into it.
struct TRange {
    int min, max, step, start;
    int clamp(int v) const { return v < min ? min : (v > max ? max : v); }
};

// A list section keyed "<prefix>0", "<prefix>1", ...: every line of the
// section becomes an entry, the text after its first "=" (a line without
// "=" whole).
QStringList ReadListSection(const TIniFile& ini, const QString& section);
// The entries "<prefix>0=<value 0>", "<prefix>1=<value 1>", ...
TIniFile::Entries NumberedEntries(const QString& prefix, const QStringList& values);

// The settings file in SettingsFolder(), whatever the case of its name.
QString SettingsFilePath();
