#include "MailSettings.h"

#include <QMap>

namespace {

const QString kYourAddress = QStringLiteral("YourEMAILAddress");
const QString kSitesCritical = QStringLiteral("SitesCritical");
const QString kMXAddress = QStringLiteral("MXAddress");
const QString kUseMXAddress = QStringLiteral("UseMXAddress");
const QString kDebugEMAIL = QStringLiteral("DebugEMAIL");
const QString kDontNotify = QStringLiteral("Don't Notify");
const QString kDelayHours = QStringLiteral("EMAILDelayHours");
const QString kDelayMinutes = QStringLiteral("EMAILDelayMinutes");
const QString kNotifyOnUp = QStringLiteral("Notify on Up Transition");
const QString kMXPort = QStringLiteral("MXPort");
const QString kMXSecurity = QStringLiteral("MXSecurity");
const QString kMXUser = QStringLiteral("MXUser");
const QString kMXPassword = QStringLiteral("MXPassword");
const QString kNotifySection = QStringLiteral("Notify Addresses");
const QString kAddressPrefix = QStringLiteral("Address-");

} // namespace

QString MailSecurityText(TMailSecurity security) {
    switch (security) {
    case TMailSecurity::StartTls:
        return QStringLiteral("STARTTLS");
    case TMailSecurity::Tls:
        return QStringLiteral("TLS");
    case TMailSecurity::None:
        break;
    }
    return QStringLiteral("None");
}

TMailSecurity MailSecurityFromText(const QString& text) {
    for (TMailSecurity s : {TMailSecurity::StartTls, TMailSecurity::Tls})
        if (text.trimmed().compare(MailSecurityText(s), Qt::CaseInsensitive) == 0)
            return s;
    return TMailSecurity::None;
}

TEmailSettings TEmailSettings::Read(const TIniFile& ini) {
    const QString& s = kMainSection;
    TEmailSettings e;
    e.yourAddress = ini.ReadString(s, kYourAddress, QString());
    e.sitesCritical = ini.ReadInteger(s, kSitesCritical, 1);
    e.mxAddress = ini.ReadString(s, kMXAddress, QString());
    e.useMXAddress = ini.ReadBool(s, kUseMXAddress, false);
    e.debugEMAIL = ini.ReadBool(s, kDebugEMAIL, false);
    e.dontNotify = ini.ReadBool(s, kDontNotify, false);
    e.delayHours = ini.ReadInteger(s, kDelayHours, 0);
    e.delayMinutes = ini.ReadInteger(s, kDelayMinutes, 0);
    e.notifyOnUp = ini.ReadBool(s, kNotifyOnUp, false);
    const int port = ini.ReadInteger(s, kMXPort, 25);
    e.mxPort = port >= 1 && port <= 65535 ? port : 25;
    e.mxSecurity = MailSecurityFromText(ini.ReadString(s, kMXSecurity, QString()));
    e.mxUser = ini.ReadString(s, kMXUser, QString());
    e.mxPassword = ini.ReadString(s, kMXPassword, QString());
    return e;
}

void TEmailSettings::Write(TIniFile& ini, const QStringList& notifyAddresses) const {
    const QString& s = kMainSection;
    ini.Update([&] {
        ini.WriteString(s, kYourAddress, yourAddress);
        ini.WriteInteger(s, kSitesCritical, sitesCritical);
        ini.WriteString(s, kMXAddress, mxAddress);
        ini.WriteBool(s, kUseMXAddress, useMXAddress);
        ini.WriteInteger(s, kDelayHours, delayHours);
        ini.WriteInteger(s, kDelayMinutes, delayMinutes);
        WriteNotifyAddresses(ini, notifyAddresses);
        ini.WriteBool(s, kNotifyOnUp, notifyOnUp);
        ini.WriteInteger(s, kMXPort, mxPort);
        ini.WriteString(s, kMXSecurity, MailSecurityText(mxSecurity));
        ini.WriteString(s, kMXUser, mxUser);
        ini.WriteString(s, kMXPassword, mxPassword);
    });
}

void TEmailSettings::WriteDontNotify(TIniFile& ini, bool on) {
    ini.WriteBool(kMainSection, kDontNotify, on);
}

void TEmailSettings::WriteDebugEMAIL(TIniFile& ini, bool on) {
    ini.WriteBool(kMainSection, kDebugEMAIL, on);
}

QStringList ReadNotifyAddresses(const TIniFile& ini) {
    // Keys by number, then in that order: a gap left by an older writer
    // (an empty entry skipped, its number kept) closes up instead of
    // cutting the list short.
    QMap<int, QString> byNumber;
    QStringList unnumbered;
    for (const auto& [key, value] : ini.ReadSection(kNotifySection)) {
        bool ok = false;
        const int n = key.startsWith(kAddressPrefix, Qt::CaseInsensitive)
                          ? key.mid(kAddressPrefix.size()).toInt(&ok)
                          : 0;
        if (ok && n >= 0 && !byNumber.contains(n))
            byNumber.insert(n, value);
        else
            unnumbered << value;
    }
    QStringList list = byNumber.values();
    list += unnumbered;
    list.removeIf([](const QString& a) { return a.trimmed().isEmpty(); });
    return list;
}

void WriteNotifyAddresses(TIniFile& ini, const QStringList& addresses) {
    QStringList kept = addresses;
    kept.removeIf([](const QString& a) { return a.trimmed().isEmpty(); });
    ini.ReplaceSection(kNotifySection, NumberedEntries(kAddressPrefix, kept));
}
