#pragma once

#include "platform/Launcher.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"

#include "QtPrinters.h"

#include <QColor>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

// Answers every question from a script and records what was asked, for as
// long as it lives. A question the script has no answer for gets the answer
// a session without a display takes: OK where that is the only button,
// otherwise No or Cancel, no file, no input and no colour.
class TScriptedPrompts : public TDefaultPrompts {
public:
    enum class Kind { Message, Input, OpenFile, SaveFile };
    struct Asked {
        Kind kind = Kind::Message;
        QString text;    // the message, the input's prompt or the dialog's title
        QString caption; // of the message box or the input
        Icon icon = Icon::None;
        QString filter, defaultExt; // of a file dialog
        QString value;              // the input's text when it opened
    };
    std::vector<Asked> messages;    // message boxes and inputs, in order
    std::vector<Asked> fileDialogs; // file dialogs, in order
    QStringList fileDialogTitles;   // their titles

    std::deque<Answer> answers;    // next message box answers
    std::deque<QString> fileNames; // next file dialog results
    std::deque<std::optional<QString>> inputs;
    std::deque<std::optional<QColor>> colors;

    TScriptedPrompts() { SetPrompts(this); }
    ~TScriptedPrompts() override { SetPrompts(nullptr); }
    TScriptedPrompts(const TScriptedPrompts&) = delete;
    TScriptedPrompts& operator=(const TScriptedPrompts&) = delete;

    Answer Message(const QString& text, const QString& caption, Buttons buttons,
                   Icon icon) override;
    QString OpenFileName(const QString& title, const QString& filter, const QString& defaultExt,
                         const QString& folder) override;
    QString SaveFileName(const QString& title, const QString& filter, const QString& defaultExt,
                         const QString& folder) override;
    std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                      const QString& value) override;
    std::optional<unsigned> ChooseColor(unsigned initial) override;

    // The captions of the message boxes and inputs so far, in order.
    QStringList Captions() const;

private:
    QString nextFile(Kind kind, const QString& title, const QString& filter,
                     const QString& defaultExt);
};

// Records every file, page and help topic the program asks the desktop to
// open, and opens none, for as long as it lives.
class TRecordingLauncher : public TLauncher {
public:
    QStringList editorPaths, browserUrls, helpFiles;
    QList<int> contexts;

    TRecordingLauncher() { SetLauncher(this); }
    ~TRecordingLauncher() override { SetLauncher(nullptr); }
    TRecordingLauncher(const TRecordingLauncher&) = delete;
    TRecordingLauncher& operator=(const TRecordingLauncher&) = delete;

    bool OpenTextEditor(const QString& path) override;
    bool OpenBrowser(const QString& url, const QString& browser) override;
    bool OpenHelp(const QString& file, int context) override;
};

// The program's folder moved to a fresh temporary directory for one test.
class TTempProgramFolder {
public:
    QTemporaryDir dir;
    TTempProgramFolder() { SetProgramFolderForTesting(dir.path()); }
    ~TTempProgramFolder() { SetProgramFolderForTesting(QString()); }
    QString file(const QString& name) const { return dir.filePath(name); }
};

// A named child of the window (or of the session), failing the test when
// there is none.
template <class T> T* Named(const QObject& root, const char* name) {
    T* found = root.findChild<T*>(QLatin1String(name));
    if (!found)
        ADD_FAILURE() << "no child named " << name;
    return found;
}
