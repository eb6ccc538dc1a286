// libFuzzer target: any settings file must restore through
// RestoreSavedState, as start-up does with "Save State on Exit:" ticked,
// into exactly the rows, log lines and alerts its sections list; the grid so
// restored must sort by every column and survive a save and a restore again.
#include "FuzzCheck.h"
#include "FuzzFile.h"
#include "devices/DeviceGrid.h"
#include "mail/AlertQueue.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "session/SavedState.h"

#include <cstdint>
#include <cstdlib>

namespace {

struct TRestored {
    TDeviceGrid grid;
    TLogModel monitorLog;
    TLogModel emailLog;
    TNotificationQueue queue;
    int currentRow = -1;

    void restore(const TIniFile& ini, const QDateTime& now) {
        // What start-up leaves before the restore: a header row, no devices.
        grid.SetGridHeader();
        RestoreSavedState(ini,
                          {grid, [this](const QString& l) { monitorLog.Append(l); },
                           [this](const QString& l) { emailLog.Append(l); }, queue, currentRow},
                          now);
    }
};

bool sameQueue(const TNotificationQueue& a, const TNotificationQueue& b) {
    if (a.Count() != b.Count())
        return false;
    for (size_t i = 0; i < a.Count(); ++i) {
        const TQueueEntry &x = a.Entries()[i], &y = b.Entries()[i];
        if (x.address != y.address || x.subject != y.subject || x.details != y.details)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TFuzzFile file(QStringLiteral("velmora.ini"));
    static const QString saved = file.Sibling(QStringLiteral("saved.ini"));
    static const QDateTime now =
        QDateTime::fromString(QStringLiteral("2026-03-04T05:06:07"), Qt::ISODate);
    file.Write(data, size);
    const TIniFile ini(file.Path());
    TRestored first;
    first.restore(ini, now);

    const auto count = [&](const char* section) {
        return ini.ReadSection(QString::fromLatin1(section)).size();
    };
    const qsizetype rows = count("SaveOnExit_Grid");
    FUZZ_CHECK(first.grid.DeviceCount() == (rows == 0 ? 1 : rows));
    FUZZ_CHECK(first.monitorLog.Count() == count("SaveOnExit_VelmoraLog"));
    FUZZ_CHECK(first.emailLog.Count() == count("SaveOnExit_EMAILLog"));
    FUZZ_CHECK(qsizetype(first.queue.Count()) == count("SaveOnExit_EMAILQueue"));

    // Saved, then restored again, everything comes back as it was.
    TFuzzFile::Write(saved, nullptr, 0);
    TIniFile out(saved);
    SaveStateOnExit(out, {first.grid, first.monitorLog.Lines(), first.emailLog.Lines(), first.queue,
                          first.currentRow});
    TRestored second;
    second.restore(out, now);
    FUZZ_CHECK(second.grid.DeviceCount() == first.grid.DeviceCount());
    for (int r = 1; r < first.grid.RowCount(); ++r)
        for (int c = 0; c < Col::Count; ++c)
            FUZZ_CHECK(second.grid.Cell(r, c) == first.grid.Cell(r, c));
    FUZZ_CHECK(second.monitorLog.Lines() == first.monitorLog.Lines());
    FUZZ_CHECK(second.emailLog.Lines() == first.emailLog.Lines());
    FUZZ_CHECK(sameQueue(second.queue, first.queue));
    FUZZ_CHECK(second.currentRow == first.currentRow);

    // The operator may sort the restored grid by any column, both ways.
    const int last = first.grid.DeviceCount();
    for (int column = 0; column < Col::Count; ++column)
        first.grid.SortGridRows(column, 1, last, column % 2 ? 1 : -1);
    FUZZ_CHECK(first.grid.DeviceCount() == last);
    return 0;
}
