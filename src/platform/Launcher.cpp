#include "Launcher.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <atomic>

namespace {

// Starts the first command of `candidates` that is on PATH, each a program
// followed by its fixed arguments; `extra` is appended as separate argv
// entries, so a path with blanks needs no quoting.
bool startFirst(const QStringList& candidates, const QStringList& extra) {
    for (const QString& c : candidates) {
        QStringList parts = QProcess::splitCommand(c);
        if (parts.isEmpty())
            continue;
        const QString program = QStandardPaths::findExecutable(parts.takeFirst());
        if (program.isEmpty())
            continue;
        if (QProcess::startDetached(program, parts + extra))
            return true;
    }
    return false;
}

TDesktopLauncher desktopLauncher;
std::atomic<TLauncher*> installed{nullptr};

} // namespace

QStringList TDesktopLauncher::EditorCandidates() {
    QStringList editors;
    const QString visual = qEnvironmentVariable("VISUAL");
    if (!visual.isEmpty())
        editors << visual;
    editors << QStringLiteral("gnome-text-editor") << QStringLiteral("gedit")
            << QStringLiteral("kwrite") << QStringLiteral("kate") << QStringLiteral("mousepad")
            << QStringLiteral("xed") << QStringLiteral("pluma") << QStringLiteral("featherpad")
            << QStringLiteral("leafpad") << QStringLiteral("xterm -e vi");
    return editors;
}

bool TDesktopLauncher::OpenTextEditor(const QString& path) {
    QStringList args;
    if (!path.isEmpty())
        args << path;
    if (startFirst(EditorCandidates(), args))
        return true;
    // Last resort: whatever the desktop opens a file with.
    return !path.isEmpty() && startFirst({QStringLiteral("xdg-open")}, args);
}

bool TDesktopLauncher::OpenBrowser(const QString& url, const QString& browser) {
    if (!browser.isEmpty() && QFileInfo(browser).isExecutable())
        return QProcess::startDetached(browser, {url});
    return startFirst({QStringLiteral("xdg-open"), QStringLiteral("sensible-browser"),
                       QStringLiteral("firefox"), QStringLiteral("chromium")},
                      {url});
}

bool TDesktopLauncher::OpenHelp(const QString& helpFile, int context) {
    if (!QFileInfo::exists(helpFile))
        return false;
    Q_UNUSED(context);
    return startFirst({QStringLiteral("xdg-open")}, {helpFile});
}

TLauncher& Launcher() {
    TLauncher* l = installed.load();
    return l ? *l : desktopLauncher;
}

void SetLauncher(TLauncher* launcher) { installed.store(launcher); }
