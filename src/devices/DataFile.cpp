#include "DataFile.h"

#include "DeviceGrid.h"
#include "platform/Helpers.h"
#include "platform/TextLines.h"

#include <QFileInfo>
#include <algorithm>
#include <numeric>

std::optional<TDeviceEntry> ParseDataFileLine(const QString& line) {
    if (line.startsWith(QLatin1Char(';')) || line.size() < 8)
        return std::nullopt;
    const QStringList fields = SplitText(line, QStringLiteral("\t"));
    if (fields.size() != 2 && fields.size() != 3)
        return std::nullopt;
    if (!IsValidAddress(fields[0]))
        return std::nullopt;
    TDeviceEntry e;
    e.address = fields[0];
    e.location = fields[1];
    const bool critical =
        fields.size() == 3 && fields[2].compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
    e.critical = critical ? QStringLiteral("Yes") : QStringLiteral("No");
    return e;
}

QString DataFileLine(const TDeviceEntry& entry) {
    return entry.address + QLatin1Char('\t') + entry.location + QLatin1Char('\t') + entry.critical;
}

namespace {

std::array<QString, Col::Count> deviceCells(TDeviceEntry e, const QString& sinceKey) {
    std::array<QString, Col::Count> cells;
    cells[Col::Address] = std::move(e.address);
    cells[Col::Location] = std::move(e.location);
    cells[Col::Critical] = std::move(e.critical);
    cells[Col::SinceKey] = sinceKey;
    return cells;
}

} // namespace

void AddLoopbackRow(TDeviceGrid& grid, const QDateTime& now) {
    grid.AppendRow(
        deviceCells({QStringLiteral("127.0.0.1"), QStringLiteral("loopback"), QStringLiteral("No")},
                    SinceKey(now.addDays(-365))));
    grid.SetDataFileLabel(QString());
    grid.SetHeaderFixed(true);
}

std::optional<std::vector<TDeviceEntry>> ReadDataFileEntries(const QString& path) {
    QStringList lines;
    if (!TextLines::ReadFile(path, lines, TextLines::kMaxDataLine))
        return std::nullopt;
    const TTextOrder order;
    std::vector<TDeviceEntry> entries;
    std::vector<QCollatorSortKey> keys;
    for (const QString& line : lines) {
        auto e = ParseDataFileLine(line);
        if (!e)
            continue;
        // Whole entries compare as "location TAB address TAB flag", so equal
        // locations fall back to the address.
        keys.push_back(order.Key(e->location + QLatin1Char('\t') + e->address + QLatin1Char('\t') +
                                 e->critical));
        entries.push_back(std::move(*e));
    }
    lines.clear();
    std::vector<quint32> sorted(entries.size());
    std::iota(sorted.begin(), sorted.end(), 0u);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](quint32 a, quint32 b) { return keys[a].compare(keys[b]) < 0; });
    std::vector<TDeviceEntry> out;
    out.reserve(entries.size());
    for (quint32 i : sorted)
        out.push_back(std::move(entries[i]));
    return out;
}

bool LoadDataFile(TDeviceGrid& grid, const QString& path, const QDateTime& now) {
    grid.SetGridHeader();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        AddLoopbackRow(grid, now);
        return true;
    }
    auto entries = ReadDataFileEntries(path);
    if (!entries)
        return false;
    if (entries->empty()) {
        AddLoopbackRow(grid, now);
        return true;
    }
    const QString sinceKey = SinceKey(now.addDays(-365));
    std::vector<TGridRow> rows;
    rows.reserve(entries->size());
    for (TDeviceEntry& e : *entries)
        rows.push_back(TGridRow{deviceCells(std::move(e), sinceKey), {}});
    grid.AppendRows(std::move(rows));
    grid.SetDataFileLabel(QFileInfo(path).fileName().left(100));
    grid.SetHeaderFixed(true);
    return true;
}
