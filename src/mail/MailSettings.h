#pragma once

#include "platform/SettingsFile.h"

#include <QString>
#include <QStringList>

// The e-mail keys of the main section.
struct TEmailSettings {
    QString yourAddress;
    int sitesCritical = 1;
    QString mxAddress;
    bool useMXAddress = false;
    bool debugEMAIL = false;
    bool dontNotify = false;
    int delayHours = 0;
    int delayMinutes = 0;
    bool notifyOnUp = false;

    bool operator==(const TEmailSettings&) const = default;

    static TEmailSettings Read(const TIniFile& ini);
    // The keys the EMAIL Notification dialog edits, with the notify
    // addresses, in one replacement of the file.
    void Write(TIniFile& ini, const QStringList& notifyAddresses) const;
    // The two menu toggles, each written when it changes.
    static void WriteDontNotify(TIniFile& ini, bool on);
    static void WriteDebugEMAIL(TIniFile& ini, bool on);
};

// The notify addresses in list order. Keys are read in file order and then
// by number, so a list written with a gap in its numbering comes back whole.
QStringList ReadNotifyAddresses(const TIniFile& ini);
// Erases the section and writes the non-empty addresses numbered without
// gaps, so that the reader gets back exactly what was written.
void WriteNotifyAddresses(TIniFile& ini, const QStringList& addresses);
