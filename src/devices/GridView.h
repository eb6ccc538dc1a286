#pragma once

#include <QTableView>

class QAction;
class QMenu;
class TDeviceGrid;

// The view `sg` over the device grid: fixed 24-pixel rows, range selection,
// no editing, the two key columns hidden; the header click, the selected row
// and the popup menu `PopupMenuVelmoraGrid` with the editing entries, select
// all and copy.
class TGridView : public QTableView {
    Q_OBJECT
public:
    explicit TGridView(TDeviceGrid* grid, QWidget* parent = nullptr);

    // Column widths as fractions of `width`; hidden columns stay hidden.
    void ApplyColumnWidths(int width);
    static double ColumnFraction(int column); // negative: hidden

    // Handlers with their fixed names.
    void PopupMenuVelmoraGridPopup();
    void ActionVelmoraGridSelectAllExecute();
    void ActionVelmoraGridCopyExecute();

    QMenu* PopupMenuVelmoraGrid = nullptr;
    // The editing entries; the window binds them to its dialogs.
    QAction* ActionInsertGridDevice = nullptr;
    QAction* ActionEditGridDevice = nullptr;
    QAction* ActionDeleteGridDevice = nullptr;
    // "History...": the dialog of the row under the pointer.
    QAction* ActionHistory = nullptr;

signals:
    // Any mouse button released on a header section (sgMouseUp).
    void HeaderClicked(int column);
    // A cell became current (sgSelectCell); `row` counts the header as 0.
    void CellSelected(int column, int row);

private:
    void buildPopupMenu();
    void openHistory(int row);

    TDeviceGrid* grid;
    int popupRow = 0; // the grid row under the pointer; 0: none
};
