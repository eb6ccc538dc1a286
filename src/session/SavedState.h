#pragma once

#include <QDateTime>
#include <QStringList>
#include <functional>

class TDeviceGrid;
class TIniFile;
class TNotificationQueue;

// The running state kept across a restart when "Save State on Exit:" is
// ticked: the grid with its statistics, both logs, the queued alerts and
// the cycle's row.
struct TSavedState {
    const TDeviceGrid& grid;
    QStringList monitorLog;
    QStringList emailLog;
    const TNotificationQueue& queue;
    int currentRow = 0;
};

// Writes the five sections in one replacement of the file. Throws on a
// failed write.
void SaveStateOnExit(TIniFile& ini, const TSavedState& state);
// Rewrites only the queue's section, so queued alerts survive a crash.
void SaveQueueSection(TIniFile& ini, const TNotificationQueue& queue);
bool SavedGridExists(const TIniFile& ini);
// Removes the five sections (Apply with the option off).
void EraseSavedState(TIniFile& ini);

struct TRestoreTargets {
    TDeviceGrid& grid;
    std::function<void(const QString&)> appendMonitorLog;
    std::function<void(const QString&)> appendEmailLog;
    TNotificationQueue& queue;
    int& currentRow;
};

// Appends what was saved; a missing grid section gives the loopback row
// unless the grid already holds devices.
void RestoreSavedState(const TIniFile& ini, TRestoreTargets to, const QDateTime& now);
