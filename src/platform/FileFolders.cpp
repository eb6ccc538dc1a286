#include "FileFolders.h"

#include "ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
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

// Our folder under a base directory: the variable when it holds an absolute
// path (the rules say to ignore a relative one), otherwise the default
// under $HOME.
QString xdgHome(const char* variable, const QString& underHome) {
    const QString value = qEnvironmentVariable(variable);
    const QString base = QDir::isAbsolutePath(value) ? value : QDir::homePath() + underHome;
    return withSlash(QDir::cleanPath(base + QStringLiteral("/velmora")));
}

TChoice decide() {
    const QString program = ProgramFolder();
    const bool settingsBeside = QFileInfo::exists(FindFileAnyCase(program, kSettingsName));
    if (settingsBeside ||
        (!installedPrefix(program) && ::access(QFile::encodeName(program).constData(), W_OK) == 0))
        return {program, program, false};
    return {xdgHome("XDG_CONFIG_HOME", QStringLiteral("/.config")),
            xdgHome("XDG_DATA_HOME", QStringLiteral("/.local/share")), true};
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
    // The pages the build puts beside the program, else the installed ones.
    const QString built = program + QStringLiteral("velmora-help/index.html");
    if (QFileInfo::exists(built))
        return built;
    return QDir::cleanPath(program + kInstalledShare + QStringLiteral("/help/index.html"));
}

void ResetFileFoldersForTesting() {
    QMutexLocker lock(&choiceMutex);
    chosen.reset();
}
