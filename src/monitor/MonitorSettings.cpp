#include "MonitorSettings.h"

namespace {

const QString kPingTimeOut = QStringLiteral("VelmoraPingTimeOut");
const QString kPacketsPerSite = QStringLiteral("VelmoraPacketsPerSite");
const QString kInterPacketDelay = QStringLiteral("VelmoraInterPacketDelay");
const QString kInterSiteDelay = QStringLiteral("VelmoraInterSiteDelay");
const QString kPopup = QStringLiteral("showPopupWindowOnDeviceTransition");
const QString kSaveState = QStringLiteral("saveStateOnExit");
const QString kVerbose = QStringLiteral("VelmoraLogVerbose");
const QString kUpColor = QStringLiteral("VelmoraDeviceUpColor");
const QString kDownColor = QStringLiteral("VelmoraDeviceDownColor");
const QString kActiveColor = QStringLiteral("VelmoraActiveRowColor");
const QString kHistoryDays = QStringLiteral("HistoryDays");

} // namespace

TMonitorSettings TMonitorSettings::Read(const TIniFile& ini, const TMonitorSettings& current) {
    using namespace MonitorRanges;
    const QString& s = kMainSection;
    TMonitorSettings r;
    r.pingTimeOut = PingTimeOut.clamp(ini.ReadInteger(s, kPingTimeOut, current.pingTimeOut));
    r.packetsPerSite =
        PacketsPerSite.clamp(ini.ReadInteger(s, kPacketsPerSite, current.packetsPerSite));
    r.interPacketDelay =
        InterPacketDelay.clamp(ini.ReadInteger(s, kInterPacketDelay, current.interPacketDelay));
    r.interSiteDelay =
        InterSiteDelay.clamp(ini.ReadInteger(s, kInterSiteDelay, current.interSiteDelay));
    r.saveStateOnExit = ini.ReadBool(s, kSaveState, current.saveStateOnExit);
    r.logVerbose = ini.ReadBool(s, kVerbose, current.logVerbose);
    r.popupOnTransition = ini.ReadBool(s, kPopup, current.popupOnTransition);
    r.upColor = ini.ReadInteger(s, kUpColor, Colors::Blue);
    r.downColor = ini.ReadInteger(s, kDownColor, Colors::Red);
    r.activeRowColor = ini.ReadInteger(s, kActiveColor, Colors::Lime);
    r.historyDays = HistoryDays.clamp(ini.ReadInteger(s, kHistoryDays, current.historyDays));
    return r;
}

void TMonitorSettings::Write(TIniFile& ini) const {
    const QString& s = kMainSection;
    ini.Update([&] {
        ini.WriteInteger(s, kPingTimeOut, pingTimeOut);
        ini.WriteInteger(s, kPacketsPerSite, packetsPerSite);
        ini.WriteInteger(s, kInterPacketDelay, interPacketDelay);
        ini.WriteInteger(s, kInterSiteDelay, interSiteDelay);
        ini.WriteBool(s, kPopup, popupOnTransition);
        ini.WriteBool(s, kSaveState, saveStateOnExit);
        ini.WriteBool(s, kVerbose, logVerbose);
        ini.WriteInteger(s, kUpColor, upColor);
        ini.WriteInteger(s, kDownColor, downColor);
        ini.WriteInteger(s, kActiveColor, activeRowColor);
        ini.WriteInteger(s, kHistoryDays, historyDays);
    });
}
