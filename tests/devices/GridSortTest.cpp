#include "TestFiles.h"
#include "devices/DeviceGrid.h"
#include "platform/ClockTexts.h"
#include "platform/TextOrder.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <numeric>

namespace {

using Cells = std::array<QString, Col::Count>;

// One row per value, the value in `column`.
void fill(TDeviceGrid& grid, int column, const QStringList& values) {
    grid.SetGridHeader();
    for (const QString& v : values) {
        Cells cells;
        cells[size_t(column)] = v;
        grid.AppendRow(cells);
    }
}

QStringList column(const TDeviceGrid& grid, int c) {
    QStringList out;
    for (int r = 1; r <= grid.DeviceCount(); ++r)
        out << grid.Cell(r, c);
    return out;
}

struct SortCase {
    const char* name;
    int column;
    int direction;
    QStringList values;
    QStringList sorted;
};

class GridSortKeys : public ::testing::TestWithParam<SortCase> {};

TEST_P(GridSortKeys, Order) {
    const SortCase& c = GetParam();
    for (const QLocale& l : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        TLocaleScope scope(l);
        SCOPED_TRACE(l.name().toStdString());
        TDeviceGrid grid;
        fill(grid, c.column, c.values);
        grid.SortGridRows(c.column, 1, grid.DeviceCount(), c.direction);
        EXPECT_EQ(column(grid, c.column), c.sorted);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GridSortKeys,
    ::testing::Values(
        SortCase{"LocationAscending", 1, 1, {"b", "A", "c"}, {"A", "b", "c"}},
        SortCase{"LocationIgnoresCase",
                 1,
                 1,
                 {"beta", "Gamma", "alpha", "Delta", "B"},
                 {"alpha", "B", "beta", "Delta", "Gamma"}},
        SortCase{"LocationDescending", 1, 2, {"b", "A", "c"}, {"c", "b", "A"}},
        SortCase{"AnyOtherDirectionDescends", 1, 0, {"b", "A", "c"}, {"c", "b", "A"}},
        SortCase{"NegativeDirectionDescends", 1, -1, {"b", "A", "c"}, {"c", "b", "A"}},
        SortCase{"AddressIsText",
                 0,
                 1,
                 {"10.0.0.9", "10.0.0.10", "10.0.0.1"},
                 {"10.0.0.1", "10.0.0.10", "10.0.0.9"}},
        SortCase{"Critical", 2, 1, {"Yes", "No", "Yes"}, {"No", "Yes", "Yes"}},
        SortCase{"StatusDescending", 3, 2, {"", "Up", "DOWN"}, {"Up", "DOWN", ""}},
        SortCase{"EmptyCountsAsZero", 6, 1, {"10", "", "9"}, {"", "9", "10"}},
        SortCase{"IntegersDescending", 7, 2, {"10", "", "9", "100"}, {"100", "10", "9", ""}},
        SortCase{"IntegersNotText", 8, 1, {"100", "2", "33"}, {"2", "33", "100"}},
        SortCase{"ResponseTotalBeyond32Bits",
                 12,
                 1,
                 {"123456789012", "99", "4294967296"},
                 {"99", "4294967296", "123456789012"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GridSort, SinceSortsByItsHiddenKey) {
    // The displayed texts sort the other way round from the moments.
    const QList<QDateTime> moments = {QDateTime(QDate(2006, 9, 5), QTime(19, 33, 31)),
                                      QDateTime(QDate(2005, 1, 1), QTime(0, 0, 0)),
                                      QDateTime(QDate(2006, 9, 5), QTime(9, 0, 0)),
                                      QDateTime(QDate(2006, 10, 1), QTime(0, 0, 1))};
    const QStringList shown = {"b", "d", "c", "a"};
    TDeviceGrid grid;
    for (int i = 0; i < moments.size(); ++i) {
        Cells cells;
        cells[Col::Address] = QString::number(i);
        cells[Col::Since] = shown[i];
        cells[Col::SinceKey] = SinceKey(moments[i]);
        grid.AppendRow(cells);
    }
    grid.SortGridRows(Col::Since, 1, 4, 1);
    EXPECT_EQ(column(grid, Col::Address), QStringList({"1", "2", "0", "3"}));
    grid.SortGridRows(Col::Since, 1, 4, 2);
    EXPECT_EQ(column(grid, Col::Address), QStringList({"3", "0", "2", "1"}));
    grid.SortGridRows(Col::SinceKey, 1, 4, 1);
    EXPECT_EQ(column(grid, Col::Address), QStringList({"1", "2", "0", "3"}));
}

TEST(GridSort, WholeRowsMoveWithTheirNotification) {
    TDeviceGrid grid;
    const QDateTime base(QDate(2006, 9, 5), QTime(19, 0, 0));
    const QStringList locations = {"c", "a", "d", "b"};
    for (int i = 0; i < locations.size(); ++i) {
        Cells cells;
        for (int c = 0; c < Col::Count; ++c)
            cells[size_t(c)] = QStringLiteral("%1-%2").arg(locations[i]).arg(c);
        cells[Col::Location] = locations[i];
        grid.AppendRow(cells);
        grid.Notification(i + 1) = {i % 2 == 0, base.addSecs(i)};
    }
    QSignalSpy changed(&grid, &TDeviceGrid::dataChanged);
    QSignalSpy layout(&grid, &TDeviceGrid::layoutChanged);
    grid.SortGridRows(Col::Location, 1, 4, 1);
    EXPECT_GT(changed.count() + layout.count(), 0) << "the view is not told";
    EXPECT_EQ(column(grid, Col::Location), QStringList({"a", "b", "c", "d"}));
    for (int r = 1; r <= 4; ++r) {
        const QString loc = grid.Cell(r, Col::Location);
        const int original = int(locations.indexOf(loc));
        for (int c = 0; c < Col::Count; ++c) {
            if (c != Col::Location) {
                EXPECT_EQ(grid.Cell(r, c), QStringLiteral("%1-%2").arg(loc).arg(c));
            }
        }
        EXPECT_EQ(grid.Row(r).notification.pending, original % 2 == 0) << loc.toStdString();
        EXPECT_EQ(grid.Row(r).notification.transitionTime, base.addSecs(original));
    }
}

TEST(GridSort, OnlyTheGivenRangeMoves) {
    TDeviceGrid grid;
    fill(grid, Col::Location, {"z", "c", "b", "a", "y"});
    grid.SortGridRows(Col::Location, 2, 4, 1);
    EXPECT_EQ(column(grid, Col::Location), QStringList({"z", "a", "b", "c", "y"}));
    // Nothing to do, or a range past the last row.
    grid.SortGridRows(Col::Location, 3, 3, 2);
    grid.SortGridRows(Col::Location, 4, 2, 2);
    EXPECT_EQ(column(grid, Col::Location), QStringList({"z", "a", "b", "c", "y"}));
    grid.SortGridRows(Col::Location, 1, 99, 1);
    EXPECT_EQ(column(grid, Col::Location), QStringList({"a", "b", "c", "y", "z"}));
}

// A grid straight after a load is already in location order; a pivot taken
// from the first row would make this quadratic and recurse 100,000 deep.
TEST(GridSort, LargeGridInOrderSortsFast) {
    constexpr int n = 100000;
    TDeviceGrid grid;
    std::vector<TGridRow> rows(n);
    for (int i = 0; i < n; ++i) {
        rows[size_t(i)].cells[Col::Address] =
            QStringLiteral("10.%1.%2.%3").arg((i >> 16) & 255).arg((i >> 8) & 255).arg(i & 255);
        rows[size_t(i)].cells[Col::Location] = QStringLiteral("site %1").arg(i, 6, 10, QChar('0'));
        rows[size_t(i)].cells[Col::PktsSent] = QString::number(i);
        rows[size_t(i)].cells[Col::SinceKey] =
            SinceKey(QDateTime(QDate(2006, 1, 1), QTime(0, 0)).addSecs(i));
    }
    grid.AppendRows(std::move(rows));

    QElapsedTimer t;
    t.start();
    for (int col : {int(Col::Location), int(Col::PktsSent), int(Col::Since)}) {
        grid.SortGridRows(col, 1, n, 1);
        grid.SortGridRows(col, 1, n, 2);
    }
    EXPECT_LT(t.elapsed(), 10000);
    EXPECT_EQ(grid.Cell(1, Col::PktsSent), QString::number(n - 1));
    EXPECT_EQ(grid.Cell(n, Col::PktsSent), "0");
    grid.SortGridRows(Col::Location, 1, n, 1);
    EXPECT_EQ(grid.Cell(1, Col::Location), "site 000000");
    EXPECT_EQ(grid.Cell(n, Col::Location), "site 099999");
}

// Past a few thousand rows the text sort goes by buckets; rows whose keys
// are equal (texts equal but for case) still keep their order, either way.
TEST(GridSort, LargeTextSortIsStableBothWays) {
    constexpr int n = 20000;
    const QStringList names = {"alpha", "Alpha", "ALPHA", "beta", "Beta"};
    std::vector<TGridRow> rows(n);
    QStringList locations;
    for (int i = 0; i < n; ++i) {
        const int r = (i * 7919) % 1201;
        locations << QStringLiteral("%1 %2").arg(names[r % 5]).arg(r / 5);
        rows[size_t(i)].cells[Col::Address] = QString::number(i);
        rows[size_t(i)].cells[Col::Location] = locations.back();
    }
    for (const QLocale& l : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates)}) {
        TLocaleScope scope(l);
        const TTextOrder order;
        for (int direction : {1, 2}) {
            SCOPED_TRACE(l.name().toStdString() + " direction " + std::to_string(direction));
            std::vector<int> expected(n);
            std::iota(expected.begin(), expected.end(), 0);
            std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
                const int c = order.Compare(locations[a], locations[b]);
                return direction == 1 ? c < 0 : c > 0;
            });
            TDeviceGrid grid;
            grid.AppendRows(rows);
            grid.SortGridRows(Col::Location, 1, n, direction);
            QStringList want;
            for (int i : expected)
                want << QString::number(i);
            EXPECT_EQ(column(grid, Col::Address), want);
        }
    }
}

// Each column keeps its own text, whatever else the row holds, and a copied
// row is a row of its own.
TEST(DeviceGridModel, EachColumnHoldsItsOwnText) {
    std::vector<TGridRow> rows(Col::Count);
    for (int c = 0; c < Col::Count; ++c)
        rows[size_t(c)].cells[size_t(c)] = QStringLiteral("only %1").arg(c);
    const std::vector<TGridRow> copy = rows;
    rows[Col::Address].cells[Col::MaxResp] = "changed";
    rows[Col::Status].cells[Col::Status] = "changed";

    TDeviceGrid grid;
    grid.AppendRow(Cells{"127.0.0.1", "loopback", "No"});
    grid.AppendRows(copy);
    ASSERT_EQ(grid.DeviceCount(), Col::Count + 1);
    EXPECT_EQ(grid.Cell(1, Col::Location), "loopback");
    for (int r = 0; r < Col::Count; ++r)
        for (int c = 0; c < Col::Count; ++c)
            EXPECT_EQ(grid.Cell(r + 2, c), r == c ? QStringLiteral("only %1").arg(c) : "")
                << "row " << r << " column " << c;
    grid.SetCell(2, Col::PktsSent, "12");
    EXPECT_EQ(grid.Cell(2, Col::PktsSent), "12");
    EXPECT_EQ(grid.data(grid.index(1, Col::PktsSent), Qt::DisplayRole).toString(), "12");
    EXPECT_EQ(grid.Cell(2, Col::Address), "only 0");
}

TEST(DeviceGridModel, ShowsDeviceRowsUnderTheHeader) {
    TDeviceGrid grid;
    EXPECT_EQ(grid.columnCount(), 13);
    EXPECT_EQ(grid.rowCount(), 0);
    const QStringList headers = {"IP Address", "Location",  "Critical",  "Status", "Since",
                                 "",           "Pkts Sent", "Pkts Recd", "% Ok",   "Min Resp",
                                 "Avg Resp",   "Max Resp",  ""};
    for (int c = 0; c < 13; ++c) {
        EXPECT_EQ(grid.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
        EXPECT_EQ(grid.Cell(0, c), headers[c]);
    }
    Cells cells;
    cells[Col::Address] = "10.0.0.1";
    cells[Col::Location] = "Router";
    grid.AppendRow(cells);
    ASSERT_EQ(grid.rowCount(), 1);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.data(grid.index(0, Col::Location), Qt::DisplayRole).toString(), "Router");
    EXPECT_FALSE(grid.flags(grid.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(grid.flags(grid.index(0, 0)) & Qt::ItemIsSelectable);
}

} // namespace
