#pragma once

#include <QString>
#include <QStringList>

// Starts desktop programs the way the operator's desktop would: the text
// editor (on a file, or on nothing for a new document), the web browser, the
// help viewer. Tests install a recording launcher instead.
class TLauncher {
public:
    virtual ~TLauncher() = default;
    // Empty path: the editor opens a new, empty document.
    virtual bool OpenTextEditor(const QString& path) = 0;
    // `browser` empty: the desktop's default browser.
    virtual bool OpenBrowser(const QString& url, const QString& browser) = 0;
    virtual bool OpenHelp(const QString& helpFile, int context) = 0;
};

class TDesktopLauncher : public TLauncher {
public:
    bool OpenTextEditor(const QString& path) override;
    bool OpenBrowser(const QString& url, const QString& browser) override;
    bool OpenHelp(const QString& helpFile, int context) override;

    // The editor command lines tried in order, first found on PATH wins.
    static QStringList EditorCandidates();
};

TLauncher& Launcher();
void SetLauncher(TLauncher* launcher); // not owned; nullptr restores the desktop one
