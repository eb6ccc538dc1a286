#include "SettingsFile.h"

#include "FileFolders.h"
#include "ProgramFolder.h"

QStringList ReadListSection(const TIniFile& ini, const QString& section) {
    QStringList entries;
    for (const QString& line : ini.ReadSectionValues(section)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        entries << (eq < 0 ? line : line.mid(eq + 1));
    }
    return entries;
}

TIniFile::Entries NumberedEntries(const QString& prefix, const QStringList& values) {
    TIniFile::Entries entries;
    entries.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        entries.append({prefix + QString::number(i), values[i]});
    return entries;
}

QString SettingsFilePath() {
    return FindFileAnyCase(SettingsFolder(), QStringLiteral("velmora.ini"));
}
