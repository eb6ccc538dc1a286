// The session's side of the monitoring cycle: transitions, the requests
// deferred while a device is probed, sorting, Apply and a new monitor.
#include "Session.h"

#include "SavedState.h"
#include "devices/DataFile.h"
#include "devices/DeviceGrid.h"
#include "metrics/Metrics.h"
#include "monitor/Transitions.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "push/PushDelivery.h"

void TSession::evaluateTransition(int row, bool succeeded, const QDateTime& t) {
    TNotifyPolicy policy;
    policy.sitesCritical = email.sitesCritical;
    policy.delaySecs = qint64(email.delayHours) * 3600 + qint64(email.delayMinutes) * 60;
    policy.notifyOnUp = email.notifyOnUp;
    const TTransitionResult r =
        ::EvaluateTransition(*grid, row, succeeded, t, clockText, policy, Now().monotonicMs());
    if (r.change != TTransitionResult::Change::None) {
        monitorLog->Append(r.logLine);
        metrics->StateChanged(row, r.change == TTransitionResult::Change::Up, t);
        history.RecordChange(t.toMSecsSinceEpoch(), grid->Cell(row, Col::Address),
                             r.change == TTransitionResult::Change::Up);
        QStringList cells;
        for (int c = 0; c <= 4; ++c)
            cells << grid->Cell(row, c);
        const bool down = r.change == TTransitionResult::Change::Down;
        if (down)
            emit DeviceWentDown(cells);
        emit DeviceChanged(down, cells);
    }
    for (const TAlert& a : r.alerts) {
        queue.QueueAlert(notifyAddresses, a.address, a.location, a.transition, a.time);
        push->QueueAlert(a.address, a.location, a.transition, a.time);
    }
}

void TSession::runDeferredRequests() {
    // Inside a step of the cycle: errors are shown once the step is over.
    if (pendingSort) {
        const int column = *pendingSort;
        pendingSort.reset();
        showErrorLater([this, column] { sortColumn(column); });
    }
    if (cycle->TakeApplyPending())
        showErrorLater([this] { ButtonApplySettingsClick(); });
    runPendingEdits();
    if (pendingMonitorPath) {
        const QString path = *pendingMonitorPath;
        pendingMonitorPath.reset();
        showErrorLater([this, path] { startNewMonitorNow(path); });
    }
}

void TSession::sortColumn(int column) {
    grid->SortGridRows(column, 1, grid->RowCount() - 1, sortDirections[size_t(column)] ? 1 : 0);
    sortDirections[size_t(column)] = !sortDirections[size_t(column)];
}

void TSession::SortRequest(int column) {
    if (column < 0 || column >= Col::Count || column == Col::SinceKey || column == Col::RespTotal)
        return;
    if (cycle->Busy()) {
        pendingSort = column; // the latest click wins
        return;
    }
    sortByColumn(column);
}

void TSession::sortByColumn(int column) {
    cycle->StopTimers();
    // The cycle stays on its row, which now may hold another device; a row
    // outside the grid becomes the first, or none in an empty grid.
    const int n = grid->RowCount() - 1;
    const int row = cycle->CurrentRow();
    cycle->RestartAt(row >= 1 && row <= n ? row : n >= 1 ? 1 : 0);
    sortColumn(column);
    cycle->ResumeBetweenDevices();
}

void TSession::ButtonApplySettingsClick() {
    cycle->Apply(
        [this] {
            TIniFile& s = Settings();
            s.Update([&] {
                monitor.Write(s);
                metricsSettings.Write(s);
                if (!monitor.saveStateOnExit) {
                    EraseSavedState(s);
                    ErasePushQueueSection(s);
                }
            });
            metrics->Listen(metricsSettings.listen);
            openHistory();
        },
        [this] {
            return std::pair{monitor.interPacketDelay, monitor.interSiteDelay};
        });
}

void TSession::StartNewMonitor(const QString& path) {
    // Never reload the grid under a probe: the cycle starts it at the end
    // of the device.
    if (cycle->Busy()) {
        pendingMonitorPath = path;
        return;
    }
    startNewMonitorNow(path);
}

void TSession::startNewMonitorNow(const QString& path) {
    cycle->StopTimers();
    datFile = path;
    LoadDataFile(*grid, datFile, Now().now());
    cycle->Reset();
    selectedRow = 0;
    monitorLog->Clear();
    // The cycle restarts even if the path cannot be written.
    try {
        writeDataFilePath();
    } catch (...) {
        cycle->ResumeBetweenDevices();
        throw;
    }
    cycle->ResumeBetweenDevices();
}
