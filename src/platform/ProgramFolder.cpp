#include "ProgramFolder.h"

#include "FileFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>

namespace {
QMutex folderMutex;
QString folderOverride;
} // namespace

QString ProgramFolder() {
    QString folder;
    {
        QMutexLocker lock(&folderMutex);
        folder = folderOverride;
    }
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath();
    while (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)
        folder.chop(1);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

void SetProgramFolderForTesting(const QString& folder) {
    {
        QMutexLocker lock(&folderMutex);
        folderOverride = folder;
    }
    ResetFileFoldersForTesting();
}

QString FindFileAnyCase(const QString& folder, const QString& name) {
    QDir dir(folder);
    const QString exact = dir.filePath(name);
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return dir.filePath(e);
    return exact;
}
