#pragma once

#include "platform/SettingsFile.h"

namespace MonitorRanges {
inline constexpr TRange PingTimeOut{1, 60, 1, 2};
inline constexpr TRange PacketsPerSite{1, 100, 1, 2};
inline constexpr TRange InterPacketDelay{100, 10000, 100, 1000};
inline constexpr TRange InterSiteDelay{1, 60, 1, 3};
inline constexpr TRange HistoryDays{0, 3650, 1, 400}; // 0: no history file
} // namespace MonitorRanges

// Colours as the settings file keeps them: 0x00BBGGRR.
namespace Colors {
inline constexpr int Blue = 16711680;
inline constexpr int Red = 255;
inline constexpr int Lime = 65280;
} // namespace Colors

// The monitoring parameters of the "Monitor Setup" tab.
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
    int historyDays = MonitorRanges::HistoryDays.start;

    bool operator==(const TMonitorSettings&) const = default;

    // Reads the keys in file order, each defaulting to the value in
    // `current` and clamped to its range.
    static TMonitorSettings Read(const TIniFile& ini, const TMonitorSettings& current);
    // Writes the keys in their fixed order. Throws on a failed write.
    void Write(TIniFile& ini) const;
};
