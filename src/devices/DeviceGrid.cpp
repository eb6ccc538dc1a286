#include "DeviceGrid.h"

#include "platform/ClockTexts.h"
#include "platform/TextOrder.h"

#include <algorithm>
#include <limits>
#include <numeric>

TRowCells::TRowCells(const std::array<QString, Col::Count>& cells) {
    for (size_t c = 0; c < cells.size(); ++c)
        if (!cells[c].isEmpty() || kSlot[c] >= 0)
            (*this)[c] = cells[c];
}

TRowCells::TRowCells(const TRowCells& other)
    : own(other.own), more(other.more ? std::make_unique<Others>(*other.more) : nullptr) {}

TRowCells& TRowCells::operator=(const TRowCells& other) {
    if (this != &other)
        *this = TRowCells(other);
    return *this;
}

const QString& TRowCells::Empty() {
    static const QString empty;
    return empty;
}

TDeviceGrid::TDeviceGrid(QObject* parent) : QAbstractTableModel(parent) {}

const QStringList& TDeviceGrid::HeaderTexts() {
    static const QStringList texts = {QStringLiteral("IP Address"),
                                      QStringLiteral("Location"),
                                      QStringLiteral("Critical"),
                                      QStringLiteral("Status"),
                                      QStringLiteral("Since"),
                                      QString(),
                                      QStringLiteral("Pkts Sent"),
                                      QStringLiteral("Pkts Recd"),
                                      QStringLiteral("% Ok"),
                                      QStringLiteral("Min Resp"),
                                      QStringLiteral("Avg Resp"),
                                      QStringLiteral("Max Resp"),
                                      QString()};
    return texts;
}

QString TDeviceGrid::Cell(int row, int col) const {
    if (col < 0 || col >= Col::Count)
        return {};
    if (row == 0)
        return HeaderTexts().at(col);
    if (row < 1 || row > DeviceCount())
        return {};
    return rows[size_t(row - 1)].cells[size_t(col)];
}

void TDeviceGrid::SetCell(int row, int col, const QString& text) {
    if (row < 1 || row > DeviceCount() || col < 0 || col >= Col::Count)
        return;
    rows[size_t(row - 1)].cells[size_t(col)] = text;
    const QModelIndex i = index(row - 1, col);
    emit dataChanged(i, i);
}

void TDeviceGrid::RepaintCell(int row, int col) {
    if (row < 1 || row > DeviceCount())
        return;
    const QModelIndex i = index(row - 1, col);
    emit dataChanged(i, i);
}

void TDeviceGrid::SetGridHeader() {
    beginResetModel();
    rows.clear();
    headerFixed = false;
    endResetModel();
}

void TDeviceGrid::AppendRow(const std::array<QString, Col::Count>& cells) {
    const int at = DeviceCount();
    beginInsertRows({}, at, at);
    rows.push_back(TGridRow{TRowCells(cells), {}});
    endInsertRows();
}

void TDeviceGrid::AppendRows(std::vector<TGridRow> more) {
    if (more.empty())
        return;
    const int at = DeviceCount();
    beginInsertRows({}, at, at + int(more.size()) - 1);
    // Into an empty grid the vector itself moves, so a big load never holds
    // its rows twice.
    if (rows.empty())
        rows = std::move(more);
    else
        rows.insert(rows.end(), std::make_move_iterator(more.begin()),
                    std::make_move_iterator(more.end()));
    endInsertRows();
}

void TDeviceGrid::InsertRow(int row, const std::array<QString, Col::Count>& cells) {
    row = std::clamp(row, 1, RowCount());
    beginInsertRows({}, row - 1, row - 1);
    rows.insert(rows.begin() + (row - 1), TGridRow{TRowCells(cells), {}});
    endInsertRows();
}

void TDeviceGrid::RemoveRow(int row) {
    if (row < 1 || row > DeviceCount())
        return;
    beginRemoveRows({}, row - 1, row - 1);
    rows.erase(rows.begin() + (row - 1));
    endRemoveRows();
}

void TDeviceGrid::SwapRows(int a, int b) {
    if (a < 1 || b < 1 || a > DeviceCount() || b > DeviceCount() || a == b)
        return;
    std::swap(rows[size_t(a - 1)], rows[size_t(b - 1)]);
    emit dataChanged(index(std::min(a, b) - 1, 0), index(std::max(a, b) - 1, Col::Count - 1));
}

void TDeviceGrid::SetDataFileLabel(const QString& label) {
    if (label == dataFileLabel)
        return;
    dataFileLabel = label;
    emit dataFileLabelChanged(label);
}

namespace {

enum class KeyType { Text, Moment, Integer };

KeyType keyTypeOf(int column) {
    if (column == Col::SinceKey)
        return KeyType::Moment;
    if (column >= Col::PktsSent)
        return KeyType::Integer;
    return KeyType::Text;
}

} // namespace

void TDeviceGrid::SortGridRows(int column, int first, int last, int direction) {
    first = std::max(first, 1);
    last = std::min(last, DeviceCount());
    if (first >= last || column < 0 || column >= Col::Count)
        return;
    const int keyColumn = column == Col::Since ? Col::SinceKey : column;
    const KeyType type = keyTypeOf(keyColumn);
    const size_t n = size_t(last - first + 1);
    const size_t base = size_t(first - 1);

    // Keys are computed once per row; comparing them is then cheap, so even
    // 100,000 rows sort in a fraction of a second and never need to yield.
    const bool ascending = direction == 1;
    // Read only: a read through a writable row would make its block of
    // statistics columns.
    const std::vector<TGridRow>& unsorted = rows;
    std::vector<quint32> order;
    if (type == KeyType::Text) {
        const std::vector<QCollatorSortKey> texts = MakeSortKeys(n, [&](size_t i, QString& text) {
            text = unsorted[base + i].cells[size_t(keyColumn)];
        });
        order = StableKeyOrder(texts, !ascending);
    } else {
        std::vector<qint64> numbers(n);
        for (size_t i = 0; i < n; ++i) {
            const QString& cell = unsorted[base + i].cells[size_t(keyColumn)];
            if (type == KeyType::Integer) {
                numbers[i] = cell.toLongLong(); // empty or not a number: 0
            } else {
                // No key yet (a device never changed): the oldest of all.
                numbers[i] = SinceKeyOrder(cell).value_or(std::numeric_limits<qint64>::min());
            }
        }
        order.resize(n);
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(), [&](quint32 a, quint32 b) {
            return ascending ? numbers[a] < numbers[b] : numbers[a] > numbers[b];
        });
    }

    // Rows move into place along the permutation's cycles rather than into a
    // second vector, so a big grid is never held twice. order[k] == k marks a
    // place already filled.
    for (size_t start = 0; start < n; ++start) {
        if (order[start] == start)
            continue;
        TGridRow held = std::move(rows[base + start]);
        size_t k = start;
        while (order[k] != start) {
            const size_t from = order[k];
            rows[base + k] = std::move(rows[base + from]);
            order[k] = quint32(k);
            k = from;
        }
        rows[base + k] = std::move(held);
        order[k] = quint32(k);
    }
    emit dataChanged(index(first - 1, 0), index(last - 1, Col::Count - 1));
}

int TDeviceGrid::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : DeviceCount();
}

int TDeviceGrid::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Col::Count;
}

QVariant TDeviceGrid::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= DeviceCount())
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return rows[size_t(index.row())].cells[size_t(index.column())];
    return {};
}

QVariant TDeviceGrid::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal &&
        (role == Qt::DisplayRole || role == Qt::AccessibleTextRole))
        return section >= 0 && section < Col::Count ? HeaderTexts().at(section) : QVariant();
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return {};
}

Qt::ItemFlags TDeviceGrid::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
