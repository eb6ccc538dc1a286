// libFuzzer target: any data file must load through LoadDataFile, the path
// start-up and Reload take, into one row per accepted device line, each a
// valid device, in the grid's order.
#include "FuzzCheck.h"
#include "FuzzFile.h"
#include "devices/DataFile.h"
#include "devices/DeviceGrid.h"
#include "platform/Addresses.h"
#include "platform/ClockTexts.h"
#include "platform/TextLines.h"
#include "platform/TextOrder.h"

#include <cstdint>
#include <cstdlib>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TFuzzFile file(QStringLiteral("velmora.dat"));
    static const QDateTime now =
        QDateTime::fromString(QStringLiteral("2026-03-04T05:06:07"), Qt::ISODate);
    file.Write(data, size);
    TDeviceGrid grid;
    FUZZ_CHECK(LoadDataFile(grid, file.Path(), now));
    FUZZ_CHECK(grid.DeviceCount() >= 1);
    FUZZ_CHECK(grid.HeaderFixed());

    qsizetype accepted = 0;
    for (const QString& line : TextLines::Split(
             QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)),
             TextLines::kMaxDataLine))
        if (ParseDataFileLine(line))
            ++accepted;
    if (accepted == 0) {
        FUZZ_CHECK(grid.DeviceCount() == 1 &&
                   grid.Cell(1, Col::Location) == QLatin1String("loopback"));
        return 0;
    }
    FUZZ_CHECK(grid.DeviceCount() == accepted);

    const TTextOrder order;
    QString previous;
    for (int r = 1; r < grid.RowCount(); ++r) {
        const TDeviceEntry e{grid.Cell(r, Col::Address), grid.Cell(r, Col::Location),
                             grid.Cell(r, Col::Critical)};
        FUZZ_CHECK(IsValidAddress(e.address));
        FUZZ_CHECK(!e.location.contains(QLatin1Char('\t')));
        FUZZ_CHECK(e.critical == QLatin1String("Yes") || e.critical == QLatin1String("No"));
        // Cut lines are cut between characters, never inside one.
        FUZZ_CHECK(e.location.size() <= TextLines::kMaxDataLine && e.location.isValidUtf16());
        FUZZ_CHECK(!grid.Cell(r, Col::SinceKey).isEmpty() && grid.Cell(r, Col::Status).isEmpty());
        const QString sortText =
            e.location + QLatin1Char('\t') + e.address + QLatin1Char('\t') + e.critical;
        FUZZ_CHECK(r == 1 || order.Key(previous).compare(order.Key(sortText)) <= 0);
        previous = sortText;
    }
    return 0;
}
