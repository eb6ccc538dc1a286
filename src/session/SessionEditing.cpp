// The session's device editing: insert, edit, delete and merge, at once or
// at the end of the device being probed, and their data-file steps.
#include "Session.h"

#include "devices/DataFile.h"
#include "devices/DataFileEdit.h"
#include "devices/DeviceGrid.h"
#include "platform/Clock.h"
#include "platform/ClockTexts.h"
#include "platform/Prompts.h"

#include <QFileInfo>
#include <QSet>
#include <utility>

namespace {

const QString kInvalidAddress = QStringLiteral("Invalid IP Address Syntax");

QString invalidAddressText(const QString& address) {
    return QStringLiteral("IP: ") + address + QStringLiteral(" is not a valid IP address.");
}

} // namespace

bool TSession::FileOptionsAllow() const {
    return !datFile.isEmpty() && !monitor.saveStateOnExit;
}

QString TSession::DataFileName() const {
    return QFileInfo(datFile).fileName();
}

void TSession::tell(const QString& text, const QString& title) {
    if (!inCycleStep) {
        Prompter().Message(text, title, TPrompts::Buttons::Ok, TPrompts::Icon::None);
        return;
    }
    // No box opens inside a step of the cycle.
    QTimer::singleShot(0, this, [this, text, title] {
        Prompter().Message(text, title, TPrompts::Buttons::Ok, TPrompts::Icon::None);
    });
}

bool TSession::fieldsRefused(const QString& address, const QString& location) {
    if (!AddressRuleHolds(address)) {
        tell(invalidAddressText(address), kInvalidAddress);
        return true;
    }
    if (location.isEmpty()) {
        tell(QStringLiteral("Location cannot be blank."), QStringLiteral("Invalid Location"));
        return true;
    }
    return false;
}

void TSession::InsertGridDevice(const QString& address, const QString& location, bool append,
                                const QString& critical) {
    for (int r = 1; r < grid->RowCount(); ++r)
        if (grid->Cell(r, Col::Address) == address) {
            tell(QStringLiteral("IP: ") + address + QStringLiteral(" is already in Velmora Grid."),
                 QStringLiteral("Duplicate IP Address"));
            return;
        }
    if (fieldsRefused(address, location))
        return;
    if (cycle->Busy()) {
        pendingEdits.insert = TPendingEdits::Insert{address, location, critical, append};
        return;
    }
    cycle->StopTimers();
    std::array<QString, Col::Count> cells;
    cells[Col::Address] = address;
    cells[Col::Location] = location;
    cells[Col::Critical] = critical;
    grid->AppendRow(cells);
    grid->SetHeaderFixed(true);
    cycle->ResumeBetweenDevices();
    // A data file that cannot be written leaves the new row in place.
    if (FileOptionsAllow() && append &&
        !AppendDataFileLines(datFile, {DataFileLine({address, location, critical})}))
        dataFileNotWritten();
}

void TSession::UpdateGridDevice(const QString& previous, const QString& address, bool update,
                                const QString& critical, const QString& location) {
    updateGridDevice(previous, std::nullopt, address, update, critical, location);
}

void TSession::updateGridDevice(const QString& previous,
                                const std::optional<QString>& previousLocation,
                                const QString& address, bool update, const QString& critical,
                                const QString& location) {
    if (fieldsRefused(address, location))
        return;
    if (cycle->Busy()) {
        // The device asked for now: its location tells it from another row
        // with its address once a sort has moved them.
        std::optional<QString> at = previousLocation;
        if (const int r = editedRow(previous, std::nullopt); !at && r)
            at = grid->Cell(r, Col::Location);
        pendingEdits.edit = TPendingEdits::Edit{previous, address, location, critical, update, at};
        return;
    }
    const int row = editedRow(previous, previousLocation);
    if (row == 0)
        return; // the device is gone
    updateRow(row, address, update, critical, location);
}

int TSession::editedRow(const QString& previous,
                        const std::optional<QString>& previousLocation) const {
    const auto holds = [&](int r) {
        return grid->Cell(r, Col::Address) == previous &&
               (!previousLocation || grid->Cell(r, Col::Location) == *previousLocation);
    };
    // The edit belongs to the device it was asked for, wherever a sort or
    // a delete has moved it since.
    if (selectedRow >= 1 && selectedRow < grid->RowCount() && holds(selectedRow))
        return selectedRow;
    for (int r = 1; r < grid->RowCount(); ++r)
        if (holds(r))
            return r;
    return previousLocation ? editedRow(previous, std::nullopt) : 0;
}

TDeviceLines TSession::deviceLines(int row) const {
    TDeviceLines device{grid->Cell(row, Col::Address), grid->Cell(row, Col::Location), {}};
    for (int r = 1; r < grid->RowCount(); ++r)
        if (r != row && grid->Cell(r, Col::Address) == device.address &&
            grid->Cell(r, Col::Location) == device.location)
            device.othersCritical << grid->Cell(r, Col::Critical);
    return device;
}

void TSession::dataFileNotWritten() {
    // The grid change stands; the operator learns that the file did not
    // follow it.
    tell(QStringLiteral("Unable to write to %1").arg(datFile), QStringLiteral("Velmora"));
}

void TSession::updateRow(int row, const QString& address, bool update, const QString& critical,
                         const QString& location) {
    // Which lines are this device's is decided by the row as it was.
    const TDeviceLines device = deviceLines(row);
    cycle->StopTimers();
    grid->SetCell(row, Col::Address, address);
    grid->SetCell(row, Col::Location, location);
    grid->SetCell(row, Col::Critical, critical);
    grid->SetCell(row, Col::Status, QString());
    grid->SetCell(row, Col::Since, QString());
    grid->SetCell(row, Col::SinceKey, SinceKey(Now().now().addDays(-365)));
    for (int c = Col::PktsSent; c < Col::Count; ++c)
        grid->SetCell(row, c, QString());
    // A device that starts again carries no alert of its former self.
    grid->Notification(row) = PendingNotification{};
    cycle->ResumeBetweenDevices();
    if (FileOptionsAllow() && update &&
        !RewriteDataFile(datFile, TEditRule{device, address, location, critical}) &&
        QFileInfo::exists(datFile))
        dataFileNotWritten();
}

void TSession::ActionDeleteGridDeviceExecute() {
    const int row = selectedRow;
    if (row < 1 || row >= grid->RowCount() || grid->DeviceCount() < 2)
        return;
    if (!Prompter().AskYesNo(QStringLiteral("Are you sure you want to delete: ") +
                                 grid->Cell(row, Col::Address) + QStringLiteral(" ?"),
                             QStringLiteral("Delete Velmora Device from Grid"),
                             TPrompts::Icon::None))
        return;
    // The cycle ran on while the question was open.
    if (cycle->Busy()) {
        pendingEdits.deletePending = true;
        return;
    }
    if (row >= grid->RowCount() || grid->DeviceCount() < 2)
        return; // the grid changed under the question
    const TDeviceLines device = deviceLines(row);
    cycle->StopTimers();
    // The row's pending notification goes with it.
    grid->RemoveRow(row);
    cycle->ResumeBetweenDevices();
    if (!FileOptionsAllow())
        return;
    if (!Prompter().AskYesNo(QStringLiteral("Do you want to update ") + DataFileName() +
                                 QStringLiteral(" ?"),
                             QStringLiteral("Velmora DAT File Update"), TPrompts::Icon::None))
        return;
    // A data file gone meanwhile has no line to drop.
    if (!RewriteDataFile(datFile, TDeleteRule{device}) && QFileInfo::exists(datFile))
        dataFileNotWritten();
}

void TSession::MergeFileIntoGrid(const QString& path, bool append) {
    if (!NamesDataFile(path))
        return;
    if (cycle->Busy()) {
        pendingEdits.merge = TPendingEdits::Merge{path, append};
        return;
    }
    cycle->StopTimers();
    const auto entries = ReadDataFileEntries(path);
    if (!entries) {
        cycle->ResumeBetweenDevices();
        return;
    }
    if (!entries->empty()) {
        const QString sinceKey = SinceKey(Now().now().addDays(-365));
        // Taken before any row is added: a new address that the file holds
        // twice becomes two rows.
        QSet<QString> known;
        for (int r = 1; r < grid->RowCount(); ++r)
            known.insert(grid->Cell(r, Col::Address).toCaseFolded());
        std::vector<TGridRow> rows;
        QStringList lines;
        for (const TDeviceEntry& e : *entries) {
            if (e.location.isEmpty() || known.contains(e.address.toCaseFolded()))
                continue;
            TGridRow row;
            row.cells[Col::Address] = e.address;
            row.cells[Col::Location] = e.location;
            row.cells[Col::Critical] = e.critical;
            row.cells[Col::SinceKey] = sinceKey;
            rows.push_back(std::move(row));
            lines << DataFileLine(e);
        }
        // A data file that cannot take the devices gets none, and neither
        // does the grid.
        if (FileOptionsAllow() && append && !lines.isEmpty() &&
            !AppendDataFileLines(datFile, lines)) {
            cycle->ResumeBetweenDevices();
            dataFileNotWritten();
            return;
        }
        grid->AppendRows(std::move(rows));
    }
    cycle->RestartAt(cycle->CurrentRow());
    cycle->ResumeBetweenDevices();
}

void TSession::runPendingEdits() {
    inCycleStep = true;
    if (auto insert = std::exchange(pendingEdits.insert, std::nullopt))
        InsertGridDevice(insert->address, insert->location, insert->append, insert->critical);
    if (auto edit = std::exchange(pendingEdits.edit, std::nullopt))
        updateGridDevice(edit->previous, edit->previousLocation, edit->address, edit->update,
                         edit->critical, edit->location);
    if (std::exchange(pendingEdits.deletePending, false))
        // It asks again: after the step, so that no question holds the cycle.
        QTimer::singleShot(0, this, [this] { ActionDeleteGridDeviceExecute(); });
    if (auto merge = std::exchange(pendingEdits.merge, std::nullopt))
        MergeFileIntoGrid(merge->path, merge->append);
    inCycleStep = false;
}
