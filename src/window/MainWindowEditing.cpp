// The device editing entries of the grid popup and the Tasks menu.
#include "MainWindow.h"

#include "devices/DeviceEditDialogs.h"
#include "devices/DeviceGrid.h"
#include "devices/GridView.h"
#include "platform/ErrorGuard.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"
#include "session/Session.h"

#include <QAction>

void TForm1::bindEditing() {
    auto wire = [this](QAction* action, void (TForm1::*handler)()) {
        action->setEnabled(true);
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([&] { (this->*handler)(); }); });
    };
    wire(sg->ActionInsertGridDevice, &TForm1::ActionInsertGridDeviceExecute);
    wire(sg->ActionEditGridDevice, &TForm1::ActionEditGridDeviceExecute);
    wire(sg->ActionDeleteGridDevice, &TForm1::ActionDeleteGridDeviceExecute);
    wire(findChild<QAction*>(QStringLiteral("MergeintoDataGrid1")),
         &TForm1::MergeintoDataGrid1Click);
}

void TForm1::showEditDialog(QDialog* dialog) {
    // Modal for the operator, but the cycle and the clock run on.
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->open();
}

static QString fileCaption(const TSession& s) {
    return s.FileOptionsAllow() ? s.DataFileName() : QString();
}

void TForm1::ActionInsertGridDeviceExecute() {
    TSession& s = *session;
    showEditDialog(new TDlgInsertGridDevice(
        fileCaption(s), [&s] { return s.Grid().RowCount(); },
        [&s](const QString& address, const QString& location, bool append,
             const QString& critical) {
            Guarded([&] { s.InsertGridDevice(address, location, append, critical); });
        },
        this));
}

void TForm1::ActionEditGridDeviceExecute() {
    TSession& s = *session;
    const int row = s.SelectedRow();
    // No device selected: nothing to edit.
    if (row < 1 || row >= s.Grid().RowCount())
        return;
    const QStringList cells{s.Grid().Cell(row, Col::Address), s.Grid().Cell(row, Col::Location),
                            s.Grid().Cell(row, Col::Critical)};
    showEditDialog(new TDlgEditGridDevice(
        fileCaption(s), cells,
        [&s](const QString& previous, const QString& address, bool update, const QString& critical,
             const QString& location) {
            Guarded([&] { s.UpdateGridDevice(previous, address, update, critical, location); });
        },
        this));
}

void TForm1::ActionDeleteGridDeviceExecute() {
    session->ActionDeleteGridDeviceExecute();
}

void TForm1::MergeintoDataGrid1Click() {
    TSession& s = *session;
    showEditDialog(new TDlgMergeIntoDevGrid(
        fileCaption(s),
        [] {
            return Prompts().OpenFileName(
                QStringLiteral("Select a File to Merge Into the Data Grid"),
                QStringLiteral("Dat Files (*.dat)|*.dat|All Files (*.*)|*.*"),
                QStringLiteral("dat"), ProgramFolder());
        },
        [&s](const QString& path, bool append) {
            Guarded([&] { s.MergeFileIntoGrid(path, append); });
        },
        this));
}
