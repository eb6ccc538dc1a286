#include "devices/GridCopy.h"
#include "devices/DeviceGrid.h"

#include <gtest/gtest.h>

namespace {

void fillTwoRows(TDeviceGrid& g) {
    for (int r = 1; r <= 2; ++r) {
        std::array<QString, Col::Count> cells;
        for (int c = 0; c < Col::Count; ++c)
            cells[size_t(c)] = QString("r%1c%2").arg(r).arg(c);
        g.AppendRow(cells);
    }
}

} // namespace

TEST(GridCopy, SelectAllGivesAHeaderAndElevenFieldsPerRow) {
    TDeviceGrid g;
    fillTwoRows(g);
    const QString text = GridSelectionText(g, 0, 11, 1, 2);
    const QStringList lines = text.split("\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "IP Address\tLocation\tCritical\tStatus\tSince\tPkts Sent\tPkts Recd\t% "
                        "Ok\tMin Resp\tAvg Resp\tMax Resp");
    EXPECT_EQ(lines[1].split('\t').size(), 11);
    EXPECT_FALSE(lines[1].contains("r1c5"));
    EXPECT_FALSE(text.endsWith("\r\n"));
}

TEST(GridCopy, HiddenColumnsAtTheEdges) {
    TDeviceGrid g;
    fillTwoRows(g);
    // Ending on the hidden Since key: no trailing TAB anywhere.
    EXPECT_EQ(GridSelectionText(g, 4, 5, 2, 2), "Since\r\nr2c4");
    // The response total only when the selection reaches it.
    EXPECT_EQ(GridSelectionText(g, 11, 12, 1, 1), "Max Resp\t\r\nr1c11\tr1c12");
}
