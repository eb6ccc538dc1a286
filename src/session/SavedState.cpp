#include "SavedState.h"

#include "devices/DataFile.h"
#include "devices/DeviceGrid.h"
#include "mail/AlertQueue.h"
#include "platform/IniFile.h"
#include "platform/TextRules.h"

#include <QHash>

namespace {

const QString kGrid = QStringLiteral("SaveOnExit_Grid");
const QString kMonitorLog = QStringLiteral("SaveOnExit_VelmoraLog");
const QString kEmailLog = QStringLiteral("SaveOnExit_EMAILLog");
const QString kQueue = QStringLiteral("SaveOnExit_EMAILQueue");
const QString kMisc = QStringLiteral("SaveOnExit_Misc");

QString rowKey(qsizetype n) {
    return QStringLiteral("row-%1").arg(n);
}

TIniFile::Entries numbered(const QStringList& values, int first) {
    TIniFile::Entries e;
    e.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        e.append({rowKey(first + i), values[i]});
    return e;
}

// A section's values by their key, and how many entries it has.
struct TRows {
    QHash<QString, QString> byKey;
    qsizetype count = 0;
    explicit TRows(const TIniFile::Entries& entries) : count(entries.size()) {
        for (const auto& [k, v] : entries)
            if (!byKey.contains(k.toLower()))
                byKey.insert(k.toLower(), v);
    }
    QString value(qsizetype n) const { return byKey.value(rowKey(n)); }
};

QStringList queueValues(const TNotificationQueue& queue) {
    QStringList entries;
    for (const TQueueEntry& e : queue.Entries())
        entries << e.address + QLatin1Char('\t') + e.subject + QLatin1Char('\t') + e.details;
    return entries;
}

} // namespace

void SaveStateOnExit(TIniFile& ini, const TSavedState& s) {
    QStringList rows;
    rows.reserve(s.grid.RowCount());
    QStringList cells;
    for (int r = 1; r < s.grid.RowCount(); ++r) {
        cells.clear();
        for (int c = 0; c < Col::Count; ++c)
            cells << s.grid.Cell(r, c);
        rows << cells.join(QLatin1Char('\t'));
    }
    ini.Update([&] {
        ini.ReplaceSection(kGrid, numbered(rows, 1));
        ini.ReplaceSection(kMonitorLog, numbered(s.monitorLog, 0));
        ini.ReplaceSection(kEmailLog, numbered(s.emailLog, 0));
        ini.ReplaceSection(kQueue, numbered(queueValues(s.queue), 0));
        ini.WriteInteger(kMisc, QStringLiteral("Current Row"), s.currentRow);
    });
}

void SaveQueueSection(TIniFile& ini, const TNotificationQueue& queue) {
    ini.ReplaceSection(kQueue, numbered(queueValues(queue), 0));
}

bool SavedGridExists(const TIniFile& ini) {
    return ini.SectionExists(kGrid);
}

void EraseSavedState(TIniFile& ini) {
    ini.Update([&] {
        for (const QString& section : {kGrid, kMonitorLog, kEmailLog, kQueue, kMisc})
            ini.EraseSection(section);
    });
}

void RestoreSavedState(const TIniFile& ini, TRestoreTargets to, const QDateTime& now) {
    const TRows grid(ini.ReadSection(kGrid));
    if (grid.count == 0) {
        // Devices loaded from the data file (no grid was saved) stay.
        if (to.grid.DeviceCount() == 0)
            AddLoopbackRow(to.grid, now);
    } else {
        std::vector<TGridRow> rows;
        rows.reserve(size_t(grid.count));
        for (qsizetype i = 1; i <= grid.count; ++i) {
            TGridRow row;
            const QStringList pieces = SplitText(grid.value(i), QStringLiteral("\t"));
            for (qsizetype j = 0; j < pieces.size() && j < Col::Count; ++j)
                row.cells[size_t(j)] = pieces[j];
            rows.push_back(std::move(row));
        }
        to.grid.AppendRows(std::move(rows));
        to.grid.SetHeaderFixed(true);
    }
    const TRows monitor(ini.ReadSection(kMonitorLog));
    for (qsizetype n = 0; n < monitor.count; ++n)
        to.appendMonitorLog(monitor.value(n));
    const TRows email(ini.ReadSection(kEmailLog));
    for (qsizetype n = 0; n < email.count; ++n)
        to.appendEmailLog(email.value(n));
    // A hand-edited entry with fewer fields keeps what it has; the missing
    // fields stay empty rather than stopping start-up.
    const TRows queue(ini.ReadSection(kQueue));
    for (qsizetype q = 0; q < queue.count; ++q) {
        const QStringList p = SplitText(queue.value(q), QStringLiteral("\t"));
        to.queue.Append({p.value(0), p.value(1), p.value(2)});
    }
    to.currentRow = ini.ReadInteger(kMisc, QStringLiteral("Current Row"), 0);
}
