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
    // Desktop editors first: $VISUAL is often a terminal editor, which
    // started without a terminal would run where nobody can see it.
    return {QStringLiteral("gnome-text-editor"),
            QStringLiteral("gedit"),
            QStringLiteral("kwrite"),
            QStringLiteral("kate"),
            QStringLiteral("mousepad"),
            QStringLiteral("xed"),
            QStringLiteral("pluma"),
            QStringLiteral("featherpad"),
            QStringLiteral("leafpad")};
}

namespace {

// The operator's own editor in a terminal window, the last resort.
QStringList terminalEditors() {
    QString editor = qEnvironmentVariable("VISUAL");
    if (editor.isEmpty())
        editor = qEnvironmentVariable("EDITOR");
    if (editor.isEmpty())
        editor = QStringLiteral("vi");
    return {QStringLiteral("x-terminal-emulator -e ") + editor,
            QStringLiteral("xterm -e ") + editor};
}

} // namespace

bool TDesktopLauncher::OpenTextEditor(const QString& path) {
    QStringList args;
    if (!path.isEmpty())
        args << path;
    if (startFirst(EditorCandidates(), args))
        return true;
    // Whatever the desktop opens a text file with.
    if (!path.isEmpty() && startFirst({QStringLiteral("xdg-open")}, args))
        return true;
    return startFirst(terminalEditors(), args);
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
    const QString suffix = QFileInfo(helpFile).suffix().toLower();
    if (suffix != QLatin1String("html") && suffix != QLatin1String("htm"))
        return startFirst({QStringLiteral("xdg-open")}, {helpFile});
    // The help pages in the browser, at the topic's anchor; 0 is the contents.
    QUrl url = QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
    if (context > 0)
        url.setFragment(QStringLiteral("context-%1").arg(context));
    return OpenBrowser(url.toString(), QString());
}

TLauncher& Launcher() {
    TLauncher* l = installed.load();
    return l ? *l : desktopLauncher;
}

void SetLauncher(TLauncher* launcher) {
    installed.store(launcher);
}
