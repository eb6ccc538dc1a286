#pragma once

#include <QString>
#include <QStringList>

class TIniFile;

namespace Sections {
inline const QString Velmora = QStringLiteral("VELMORA Settings");
inline const QString WebPage = QStringLiteral("Web Page Settings");
inline const QString NotifyAddresses = QStringLiteral("Notify Addresses");
inline const QString DnsSettings = QStringLiteral("DNS Settings");
inline const QString DnsQueryList = QStringLiteral("DNS Query List");
inline const QString PingQueryList = QStringLiteral("PingPageQueryList");
inline const QStringList SavedState = {
    QStringLiteral("SaveOnExit_Grid"), QStringLiteral("SaveOnExit_VelmoraLog"),
    QStringLiteral("SaveOnExit_EMAILLog"), QStringLiteral("SaveOnExit_EMAILQueue"),
    QStringLiteral("SaveOnExit_Misc")};
} // namespace Sections

// A value with its up-down range; reads are clamped into it.
struct TRange {
    int min, max, step, start;
    int clamp(int v) const { return v < min ? min : (v > max ? max : v); }
};

namespace MonitorRanges {
inline constexpr TRange PingTimeOut{1, 60, 1, 2};
inline constexpr TRange PacketsPerSite{1, 100, 1, 2};
inline constexpr TRange InterPacketDelay{100, 10000, 100, 1000};
inline constexpr TRange InterSiteDelay{1, 60, 1, 3};
} // namespace MonitorRanges

// Colours as the settings file keeps them: 0x00BBGGRR.
namespace Colors {
inline constexpr int Blue = 16711680;
inline constexpr int Red = 255;
inline constexpr int Lime = 65280;
} // namespace Colors

// What the "Monitor Setup" tab holds.
struct TMonitorSettings {
    int pingTimeOut = MonitorRanges::PingTimeOut.start;
    int packetsPerSite = MonitorRanges::PacketsPerSite.start;
    int interPacketDelay = MonitorRanges::InterPacketDelay.start;
    int interSiteDelay = MonitorRanges::InterSiteDelay.start;
    bool saveStateOnExit = false;
    bool logVerbose = false;
    bool popupOnTransition = false;
    int upColor = Colors::Blue;
    int downColor = Colors::Red;
    int activeRowColor = Colors::Lime;

    bool operator==(const TMonitorSettings&) const = default;
};

// The e-mail keys of "VELMORA Settings".
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
};

// Reads the monitor keys in file order, each defaulting to the value in
// `current` (the controls' present values) and clamped to its range.
TMonitorSettings ReadMonitorSettings(const TIniFile& ini, const TMonitorSettings& current);
// Writes the monitor keys in their fixed order, then erases the saved-state
// sections unless the state is to be saved. Throws on a failed write.
void SaveMonitorSettings(TIniFile& ini, const TMonitorSettings& s);

TEmailSettings ReadEmailSettings(const TIniFile& ini);

void SaveWindowSize(TIniFile& ini, int width, int height);

// A list section keyed "<prefix>0", "<prefix>1", ...: every line of the
// section becomes an entry, the text after its first "=" (a line without
// "=" whole).
QStringList ReadListSection(const TIniFile& ini, const QString& section);

// The notify addresses in list order. Keys are read in file order and then
// by number, so a list written with a gap in its numbering comes back whole.
QStringList ReadNotifyAddresses(const TIniFile& ini);
// Erases the section and writes the non-empty addresses numbered without
// gaps, so that the reader gets back exactly what was written.
void WriteNotifyAddresses(TIniFile& ini, const QStringList& addresses);

// The settings file beside the executable, whatever the case of its name.
QString SettingsFilePath();
