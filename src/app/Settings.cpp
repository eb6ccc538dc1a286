#include "Settings.h"

#include "platform/Helpers.h"
#include "platform/IniFile.h"

#include <QMap>

TMonitorSettings ReadMonitorSettings(const TIniFile& ini, const TMonitorSettings& current) {
    using namespace MonitorRanges;
    const QString& s = Sections::Velmora;
    TMonitorSettings r;
    r.pingTimeOut = PingTimeOut.clamp(
        ini.ReadInteger(s, QStringLiteral("VelmoraPingTimeOut"), current.pingTimeOut));
    r.packetsPerSite = PacketsPerSite.clamp(
        ini.ReadInteger(s, QStringLiteral("VelmoraPacketsPerSite"), current.packetsPerSite));
    r.interPacketDelay = InterPacketDelay.clamp(
        ini.ReadInteger(s, QStringLiteral("VelmoraInterPacketDelay"), current.interPacketDelay));
    r.interSiteDelay = InterSiteDelay.clamp(
        ini.ReadInteger(s, QStringLiteral("VelmoraInterSiteDelay"), current.interSiteDelay));
    r.saveStateOnExit = ini.ReadBool(s, QStringLiteral("saveStateOnExit"), current.saveStateOnExit);
    r.logVerbose = ini.ReadBool(s, QStringLiteral("VelmoraLogVerbose"), current.logVerbose);
    r.popupOnTransition = ini.ReadBool(s, QStringLiteral("showPopupWindowOnDeviceTransition"),
                                       current.popupOnTransition);
    r.upColor = ini.ReadInteger(s, QStringLiteral("VelmoraDeviceUpColor"), Colors::Blue);
    r.downColor = ini.ReadInteger(s, QStringLiteral("VelmoraDeviceDownColor"), Colors::Red);
    r.activeRowColor = ini.ReadInteger(s, QStringLiteral("VelmoraActiveRowColor"), Colors::Lime);
    return r;
}

void SaveMonitorSettings(TIniFile& ini, const TMonitorSettings& m) {
    const QString& s = Sections::Velmora;
    ini.WriteInteger(s, QStringLiteral("VelmoraPingTimeOut"), m.pingTimeOut);
    ini.WriteInteger(s, QStringLiteral("VelmoraPacketsPerSite"), m.packetsPerSite);
    ini.WriteInteger(s, QStringLiteral("VelmoraInterPacketDelay"), m.interPacketDelay);
    ini.WriteInteger(s, QStringLiteral("VelmoraInterSiteDelay"), m.interSiteDelay);
    ini.WriteBool(s, QStringLiteral("showPopupWindowOnDeviceTransition"), m.popupOnTransition);
    ini.WriteBool(s, QStringLiteral("saveStateOnExit"), m.saveStateOnExit);
    ini.WriteBool(s, QStringLiteral("VelmoraLogVerbose"), m.logVerbose);
    ini.WriteInteger(s, QStringLiteral("VelmoraDeviceUpColor"), m.upColor);
    ini.WriteInteger(s, QStringLiteral("VelmoraDeviceDownColor"), m.downColor);
    ini.WriteInteger(s, QStringLiteral("VelmoraActiveRowColor"), m.activeRowColor);
    if (!m.saveStateOnExit)
        for (const QString& section : Sections::SavedState)
            ini.EraseSection(section);
}

TEmailSettings ReadEmailSettings(const TIniFile& ini) {
    const QString& s = Sections::Velmora;
    TEmailSettings e;
    e.yourAddress = ini.ReadString(s, QStringLiteral("YourEMAILAddress"), QString());
    e.sitesCritical = ini.ReadInteger(s, QStringLiteral("SitesCritical"), 1);
    e.mxAddress = ini.ReadString(s, QStringLiteral("MXAddress"), QString());
    e.useMXAddress = ini.ReadBool(s, QStringLiteral("UseMXAddress"), false);
    e.debugEMAIL = ini.ReadBool(s, QStringLiteral("DebugEMAIL"), false);
    e.dontNotify = ini.ReadBool(s, QStringLiteral("Don't Notify"), false);
    e.delayHours = ini.ReadInteger(s, QStringLiteral("EMAILDelayHours"), 0);
    e.delayMinutes = ini.ReadInteger(s, QStringLiteral("EMAILDelayMinutes"), 0);
    e.notifyOnUp = ini.ReadBool(s, QStringLiteral("Notify on Up Transition"), false);
    return e;
}

void SaveWindowSize(TIniFile& ini, int width, int height) {
    ini.WriteInteger(Sections::Velmora, QStringLiteral("Width"), width);
    ini.WriteInteger(Sections::Velmora, QStringLiteral("Height"), height);
}

QStringList ReadListSection(const TIniFile& ini, const QString& section) {
    QStringList entries;
    for (const QString& line : ini.ReadSectionValues(section)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        entries << (eq < 0 ? line : line.mid(eq + 1));
    }
    return entries;
}

QStringList ReadNotifyAddresses(const TIniFile& ini) {
    // Keys by number, then in that order: a gap left by an older writer
    // (an empty entry skipped, its number kept) closes up instead of
    // cutting the list short.
    QMap<int, QString> byNumber;
    QStringList unnumbered;
    for (const auto& [key, value] : ini.ReadSection(Sections::NotifyAddresses)) {
        bool ok = false;
        const int n = key.startsWith(QLatin1String("Address-"), Qt::CaseInsensitive)
                          ? key.mid(8).toInt(&ok)
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
    TIniFile::Entries entries;
    for (const QString& a : addresses)
        if (!a.trimmed().isEmpty())
            entries.append({QStringLiteral("Address-%1").arg(entries.size()), a});
    ini.ReplaceSection(Sections::NotifyAddresses, entries);
}

QString SettingsFilePath() {
    return FindFileAnyCase(ProgramFolder(), QStringLiteral("velmora.ini"));
}
