#include "PushQueue.h"

#include "platform/IniFile.h"
#include "platform/TextRules.h"

#include <QHash>

namespace {

const QString kSection = QStringLiteral("SaveOnExit_PushQueue");

QString rowKey(qsizetype n) {
    return QStringLiteral("row-%1").arg(n);
}

// A TAB inside a field would shift the fields after it; none of the texts
// may hold one, but a hand-edited data file could.
QString field(const QString& s) {
    QString out = s;
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return out;
}

} // namespace

void SavePushQueueSection(TIniFile& ini, const TPushQueue& queue) {
    TIniFile::Entries rows;
    qsizetype n = 0;
    for (const TPushEntry& e : queue.Entries())
        rows.append({rowKey(n++), QStringList{field(e.state), field(e.address), field(e.location),
                                              field(e.time), field(e.text)}
                                      .join(QLatin1Char('\t'))});
    ini.ReplaceSection(kSection, rows);
}

void ErasePushQueueSection(TIniFile& ini) {
    ini.EraseSection(kSection);
}

void RestorePushQueue(const TIniFile& ini, TPushQueue& queue) {
    const TIniFile::Entries entries = ini.ReadSection(kSection);
    QHash<QString, QString> byKey;
    for (const auto& [k, v] : entries)
        if (!byKey.contains(k.toLower()))
            byKey.insert(k.toLower(), v);
    for (qsizetype q = 0; q < entries.size(); ++q) {
        const QStringList p = SplitText(byKey.value(rowKey(q)), QStringLiteral("\t"));
        if (p.isEmpty())
            continue;
        queue.Append({p.value(1), p.value(2), p.value(0), p.value(3), p.value(4)});
    }
}
