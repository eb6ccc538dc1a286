#pragma once

#include "platform/Prompts.h"

#include "platform/Launcher.h"
#include "platform/ProgramFolder.h"
#include <gtest/gtest.h>

#include <QColor>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>

// Answers every prompt from a script and records what was asked.
class TScriptedPrompts : public TPrompts {
public:
    struct Asked {
        QString text, caption;
        Icon icon = Icon::None;
    };
    std::vector<Asked> messages;
    std::deque<Answer> answers;    // next answers; Ok/Yes-less default: Ok
    std::deque<QString> fileNames; // next file dialog results
    std::deque<std::optional<QString>> inputs;
    std::deque<std::optional<QColor>> colors;
    QStringList fileDialogTitles;

    TScriptedPrompts() { SetPrompts(this); }
    ~TScriptedPrompts() override { SetPrompts(nullptr); }

    Answer Message(const QString& text, const QString& caption, Buttons, Icon icon) override {
        messages.push_back({text, caption, icon});
        if (answers.empty())
            return Answer::Ok;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    QString OpenFileName(const QString& title, const QString&, const QString&,
                         const QString&) override {
        return nextFile(title);
    }
    QString SaveFileName(const QString& title, const QString&, const QString&,
                         const QString&) override {
        return nextFile(title);
    }
    std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                      const QString&) override {
        messages.push_back({prompt, caption});
        if (inputs.empty())
            return std::nullopt;
        std::optional<QString> v;
        v.swap(inputs.front());
        inputs.pop_front();
        return v;
    }
    std::optional<unsigned> ChooseColor(unsigned) override {
        if (colors.empty())
            return std::nullopt;
        auto c = colors.front();
        colors.pop_front();
        if (!c)
            return std::nullopt;
        return c->rgba();
    }

private:
    QString nextFile(const QString& title) {
        fileDialogTitles << title;
        if (fileNames.empty())
            return {};
        QString f = fileNames.front();
        fileNames.pop_front();
        return f;
    }
};

class TRecordingLauncher : public TLauncher {
public:
    QStringList editorPaths, browserUrls, helpFiles;
    QList<int> contexts;
    TRecordingLauncher() { SetLauncher(this); }
    ~TRecordingLauncher() override { SetLauncher(nullptr); }
    bool OpenTextEditor(const QString& path) override {
        editorPaths << path;
        return true;
    }
    bool OpenBrowser(const QString& url, const QString&) override {
        browserUrls << url;
        return true;
    }
    bool OpenHelp(const QString& file, int context) override {
        helpFiles << file;
        contexts << context;
        return true;
    }
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
