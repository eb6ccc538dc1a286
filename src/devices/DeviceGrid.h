#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <vector>

// Grid columns by their role.
namespace Col {
enum : int {
    Address = 0,
    Location = 1,
    Critical = 2,
    Status = 3,
    Since = 4,
    SinceKey = 5, // hidden
    PktsSent = 6,
    PktsRecd = 7,
    PercentOk = 8,
    MinResp = 9,
    AvgResp = 10,
    MaxResp = 11,
    RespTotal = 12, // hidden
    Count = 13
};
}

// Per device: whether an alert waits for the notification delay, and the
// moment of the change that armed or cleared it. Lives in the row so it
// follows its device through sorts, inserts and deletes.
struct PendingNotification {
    bool pending = false;
    QDateTime transitionTime;
    qint64 transitionMonoMs = -1; // the same instant on the monotonic clock
};

// A device row's texts, indexed by column like an array of Col::Count
// strings. Address, location, critical flag and Since key live in the row;
// the other columns stay empty after a load until a poll fills them, so they
// share one block made on the first write to any of them. A freshly loaded
// million-device grid then costs little more than its texts.
class TRowCells {
public:
    TRowCells() = default;
    explicit TRowCells(const std::array<QString, Col::Count>& cells);
    TRowCells(const TRowCells& other);
    TRowCells& operator=(const TRowCells& other);
    TRowCells(TRowCells&&) noexcept = default;
    TRowCells& operator=(TRowCells&&) noexcept = default;

    static constexpr size_t size() { return Col::Count; }

    const QString& operator[](size_t col) const {
        const int slot = kSlot[col];
        if (slot >= 0)
            return own[size_t(slot)];
        return more ? (*more)[size_t(~slot)] : Empty();
    }
    QString& operator[](size_t col) {
        const int slot = kSlot[col];
        if (slot >= 0)
            return own[size_t(slot)];
        if (!more)
            more = std::make_unique<Others>();
        return (*more)[size_t(~slot)];
    }

private:
    static constexpr int kOwn = 4;
    using Others = std::array<QString, Col::Count - kOwn>;
    // Non-negative: a place in `own`; negative: ~place in `more`.
    static constexpr std::array<signed char, Col::Count> kSlot = {0,  1,  2,  ~0, ~1, 3, ~2,
                                                                  ~3, ~4, ~5, ~6, ~7, ~8};
    static const QString& Empty();

    std::array<QString, kOwn> own;
    std::unique_ptr<Others> more;
};

struct TGridRow {
    TRowCells cells;
    PendingNotification notification;
};

// The device grid: row 0 is the header, rows 1..n the devices, addressed by
// index as the rest of the program does. Also the model behind the view, in
// which view row r shows grid row r + 1 and the header row is the view's
// horizontal header.
class TDeviceGrid : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDeviceGrid(QObject* parent = nullptr);

    static const QStringList& HeaderTexts();

    // Rows including the header, like a string grid's row count.
    int RowCount() const { return int(rows.size()) + 1; }
    int DeviceCount() const { return int(rows.size()); }

    QString Cell(int row, int col) const;
    void SetCell(int row, int col, const QString& text);
    const TGridRow& Row(int row) const { return rows.at(size_t(row - 1)); }
    PendingNotification& Notification(int row) { return rows.at(size_t(row - 1)).notification; }

    // Header row alone; the header is not fixed until a device row is added.
    void SetGridHeader();
    void AppendRow(const std::array<QString, Col::Count>& cells);
    void AppendRows(std::vector<TGridRow> more);
    void InsertRow(int row, const std::array<QString, Col::Count>& cells);
    void RemoveRow(int row);
    void SwapRows(int a, int b);

    bool HeaderFixed() const { return headerFixed; }
    void SetHeaderFixed(bool fixed) { headerFixed = fixed; }

    // The data-file name shown in the status bar.
    QString DataFileLabel() const { return dataFileLabel; }
    void SetDataFileLabel(const QString& label);

    // Sorts rows first..last by one column: direction 1 ascending, anything
    // else descending. "Since" sorts by its hidden key; columns 0-3 compare as
    // text (case-insensitive, locale-aware), 6-12 as integers with an empty
    // cell as 0. Rows of equal key keep their order.
    void SortGridRows(int column, int first, int last, int direction);

    // Asks the view to repaint one cell (for the active-row marker).
    void RepaintCell(int row, int col);

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void dataFileLabelChanged(const QString& label);

private:
    std::vector<TGridRow> rows;
    bool headerFixed = false;
    QString dataFileLabel;
};
