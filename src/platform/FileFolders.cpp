#include "FileFolders.h"

#include "Helpers.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kSettingsName = QStringLiteral("velmora.ini");
const QString kInstalledShare = QStringLiteral("../share/velmora");

struct TChoice {
    QString settings, data;
    bool perUser = false;
};

QMutex choiceMutex;
std::optional<TChoice> chosen;

QString withSlash(QString folder) {
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// An installed copy: <prefix>/bin beside <prefix>/share/velmora. Even root,
// who could write there, keeps its files out of /usr/bin.
bool installedPrefix(const QString& programFolder) {
    return QFileInfo(programFolder + kInstalledShare).isDir();
}

TChoice decide() {
    const QString program = ProgramFolder();
    const bool settingsBeside = QFileInfo::exists(FindFileAnyCase(program, kSettingsName));
    if (settingsBeside ||
        (!installedPrefix(program) && ::access(QFile::encodeName(program).constData(), W_OK) == 0))
        return {program, program, false};
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return {withSlash(config + QStringLiteral("/velmora")),
            withSlash(data + QStringLiteral("/velmora")), true};
}

TChoice current() {
    QMutexLocker lock(&choiceMutex);
    if (!chosen)
        chosen = decide();
    return *chosen;
}

// Creates the folder and any missing parent owner-only, as the XDG rules
// ask; an existing folder keeps the permissions its owner gave it.
void makeOwnerOnly(const QString& folder) {
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    for (qsizetype at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/')
            continue;
        const QByteArray part = path.left(at);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return;
    }
}

QString used(const QString& folder, bool perUser) {
    if (perUser)
        makeOwnerOnly(folder);
    return folder;
}

} // namespace

QString SettingsFolder() {
    const TChoice c = current();
    return used(c.settings, c.perUser);
}

QString DataFolder() {
    const TChoice c = current();
    return used(c.data, c.perUser);
}

bool PerUserFolders() {
    return current().perUser;
}

bool InPerUserFolder(const QString& path) {
    const TChoice c = current();
    if (!c.perUser)
        return false;
    const QString folder = withSlash(QFileInfo(path).absolutePath());
    return folder == c.settings || folder == c.data;
}

QString HelpFilePath() {
    const QString program = ProgramFolder();
    const QString beside = FindFileAnyCase(program, QStringLiteral("velmora.hlp"));
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(program + kInstalledShare + QStringLiteral("/help/index.html"));
}

void ResetFileFoldersForTesting() {
    QMutexLocker lock(&choiceMutex);
    chosen.reset();
}
