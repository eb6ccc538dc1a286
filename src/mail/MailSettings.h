#pragma once

#include "platform/SettingsFile.h"

#include <QString>
#include <QStringList>

// How the connection to the static mail server is protected: not at all,
// by STARTTLS after the greeting, or by TLS from the first byte.
enum class TMailSecurity { None, StartTls, Tls };

QString MailSecurityText(TMailSecurity security);
// The setting's text, in any case; anything else is None.
TMailSecurity MailSecurityFromText(const QString& text);

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
    // The static mail server only: the exchangers of a domain are always
    // reached by plain SMTP on port 25.
    int mxPort = 25;
    TMailSecurity mxSecurity = TMailSecurity::None;
    QString mxUser;
    QString mxPassword;

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
