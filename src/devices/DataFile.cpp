#include "DataFile.h"

#include "DeviceGrid.h"
#include "platform/Addresses.h"
#include "platform/ClockTexts.h"
#include "platform/TextLines.h"
#include "platform/TextOrder.h"

#include <QFileInfo>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// The one reading of a data-file line. When it gives no device and `fault`
// is set, the reason goes there; comments and lines of blanks are left out
// on purpose and have none.
std::optional<TDeviceEntry> parseLine(const QString& line, std::optional<TIgnoredLine>* fault) {
    const auto refuse = [&](TIgnoredLine why) -> std::optional<TDeviceEntry> {
        if (fault && !line.trimmed().isEmpty())
            *fault = why;
        return std::nullopt;
    };
    if (line.startsWith(QLatin1Char(';')))
        return std::nullopt;
    if (line.size() < 8)
        return refuse(TIgnoredLine::TooShort);
    // Fields as SplitText cuts them at tabs (every piece before a tab, the
    // rest after the last tab only when not empty), found without making a
    // string for each: a data file has a line per device.
    std::array<qsizetype, 3> tabs{};
    int n = 0;
    for (qsizetype at = line.indexOf(QLatin1Char('\t')); at >= 0;
         at = line.indexOf(QLatin1Char('\t'), at + 1)) {
        if (n == int(tabs.size()))
            return refuse(TIgnoredLine::FieldCount); // four fields at least
        tabs[size_t(n++)] = at;
    }
    const qsizetype restFrom = n > 0 ? tabs[size_t(n - 1)] + 1 : 0;
    const int fields = n + (restFrom < line.size() ? 1 : 0);
    if (fields != 2 && fields != 3)
        return refuse(TIgnoredLine::FieldCount);
    const auto field = [&](int i) {
        const qsizetype from = i > 0 ? tabs[size_t(i - 1)] + 1 : 0;
        const qsizetype to = i < n ? tabs[size_t(i)] : line.size();
        return QStringView(line).sliced(from, to - from);
    };
    if (!InetAddr(field(0)))
        return refuse(TIgnoredLine::BadAddress);
    TDeviceEntry e;
    e.address = field(0).toString();
    e.location = field(1).toString();
    const bool critical =
        fields == 3 && field(2).compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
    e.critical = critical ? QStringLiteral("Yes") : QStringLiteral("No");
    return e;
}

} // namespace

std::optional<TDeviceEntry> ParseDataFileLine(const QString& line) {
    return parseLine(line, nullptr);
}

QString IgnoredLineText(TIgnoredLine reason) {
    switch (reason) {
    case TIgnoredLine::BadAddress:
        return QStringLiteral("bad address");
    case TIgnoredLine::FieldCount:
        return QStringLiteral("wrong field count");
    case TIgnoredLine::TooShort:
        return QStringLiteral("too short");
    }
    return {};
}

std::optional<TIgnoredLine> DataFileLineFault(const QString& line) {
    std::optional<TIgnoredLine> fault;
    parseLine(line, &fault);
    return fault;
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

// An accepted line while the file is read: smaller than a grid row, which is
// made only once the order is known.
struct TLoadedDevice {
    QString address;
    QString location;
    bool critical = false;
};

QString criticalText(bool critical) {
    return critical ? QStringLiteral("Yes") : QStringLiteral("No");
}

// The load order of n devices: whole entries compare as "location TAB
// address TAB flag", so equal locations fall back to the address. The keys
// are gone when this returns.
template <class Fields> std::vector<quint32> deviceOrder(size_t n, Fields fields) {
    const std::vector<QCollatorSortKey> keys = MakeSortKeys(n, [&](size_t i, QString& text) {
        const auto [location, address, critical] = fields(i);
        text.resize(0);
        text.append(location)
            .append(QLatin1Char('\t'))
            .append(address)
            .append(QLatin1Char('\t'))
            .append(critical);
    });
    return StableKeyOrder(keys);
}

void countIgnored(TDataFileLoadReport& report, qsizetype lineNumber, TIgnoredLine fault) {
    if (report.ignored++ == 0) {
        report.firstIgnoredLine = lineNumber;
        report.firstReason = fault;
    }
}

} // namespace

std::optional<std::vector<TDeviceEntry>> ReadDataFileEntries(const QString& path) {
    std::vector<TDeviceEntry> entries;
    const bool read = TextLines::ForEachLine(path, TextLines::kMaxDataLine, [&](QString&& line) {
        if (auto e = ParseDataFileLine(line))
            entries.push_back(std::move(*e));
    });
    if (!read)
        return std::nullopt;
    const std::vector<quint32> sorted = deviceOrder(entries.size(), [&](size_t i) {
        const TDeviceEntry& e = entries[i];
        return std::tuple<const QString&, const QString&, const QString&>(e.location, e.address,
                                                                          e.critical);
    });
    std::vector<TDeviceEntry> out;
    out.reserve(entries.size());
    for (quint32 i : sorted)
        out.push_back(std::move(entries[i]));
    return out;
}

void AddLoopbackRow(TDeviceGrid& grid, const QDateTime& now) {
    grid.AppendRow(
        deviceCells({QStringLiteral("127.0.0.1"), QStringLiteral("loopback"), QStringLiteral("No")},
                    SinceKey(now.addDays(-365))));
    grid.SetDataFileLabel(QString());
    grid.SetHeaderFixed(true);
}

bool NamesDataFile(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isFile();
}

bool LoadDataFile(TDeviceGrid& grid, const QString& path, const QDateTime& now,
                  TDataFileLoadReport* report) {
    grid.SetGridHeader();
    if (report)
        *report = {};
    if (!NamesDataFile(path)) {
        AddLoopbackRow(grid, now);
        return true;
    }
    // Lines are parsed as they are read, so the file's text is never held
    // whole, only the accepted devices.
    std::vector<TLoadedDevice> devices;
    qsizetype lineNumber = 0;
    const bool read = TextLines::ForEachLine(path, TextLines::kMaxDataLine, [&](QString&& line) {
        ++lineNumber;
        std::optional<TIgnoredLine> fault;
        auto e = parseLine(line, report ? &fault : nullptr);
        if (!e) {
            if (fault)
                countIgnored(*report, lineNumber, *fault);
            return;
        }
        devices.push_back(
            {std::move(e->address), std::move(e->location), e->critical == QLatin1String("Yes")});
    });
    if (!read)
        return false;
    if (devices.empty()) {
        AddLoopbackRow(grid, now);
        return true;
    }

    // The sort keys, the biggest part of a load, are made only once every
    // device is read, so that they lie together, and go back to the system
    // before the rows are made: keys and rows never take memory at once.
    const std::vector<quint32> sorted = deviceOrder(devices.size(), [&](size_t i) {
        const TLoadedDevice& d = devices[i];
        return std::tuple<const QString&, const QString&, QString>(d.location, d.address,
                                                                   criticalText(d.critical));
    });
#ifdef __GLIBC__
    // Small blocks freed stay with the process until trimmed: the keys'
    // pages go back before the rows take theirs.
    malloc_trim(0);
#endif

    const QString sinceKey = SinceKey(now.addDays(-365));
    std::vector<TGridRow> rows(devices.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        TLoadedDevice& d = devices[sorted[r]];
        TRowCells& cells = rows[r].cells;
        cells[Col::Address] = std::move(d.address);
        cells[Col::Location] = std::move(d.location);
        cells[Col::Critical] = criticalText(d.critical);
        cells[Col::SinceKey] = sinceKey;
    }
    std::vector<TLoadedDevice>().swap(devices);
    if (report)
        report->loaded = qsizetype(rows.size());
    grid.AppendRows(std::move(rows));
    grid.SetDataFileLabel(QFileInfo(path).fileName().left(100));
    grid.SetHeaderFixed(true);
    return true;
}
