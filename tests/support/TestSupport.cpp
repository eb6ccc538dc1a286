#include "TestSupport.h"

TPrompts::Answer TScriptedPrompts::Message(const QString& text, const QString& caption,
                                           Buttons buttons, Icon icon) {
    messages.push_back({Kind::Message, text, caption, icon, {}, {}, {}});
    if (answers.empty())
        return TDefaultPrompts::Message(text, caption, buttons, icon);
    const Answer a = answers.front();
    answers.pop_front();
    return a;
}

QString TScriptedPrompts::OpenFileName(const QString& title, const QString& filter,
                                       const QString& defaultExt, const QString&) {
    return nextFile(Kind::OpenFile, title, filter, defaultExt);
}

QString TScriptedPrompts::SaveFileName(const QString& title, const QString& filter,
                                       const QString& defaultExt, const QString&) {
    return nextFile(Kind::SaveFile, title, filter, defaultExt);
}

QString TScriptedPrompts::nextFile(Kind kind, const QString& title, const QString& filter,
                                   const QString& defaultExt) {
    fileDialogs.push_back({kind, title, {}, Icon::None, filter, defaultExt, {}});
    fileDialogTitles << title;
    if (fileNames.empty())
        return {};
    const QString f = fileNames.front();
    fileNames.pop_front();
    return f;
}

std::optional<QString> TScriptedPrompts::InputQuery(const QString& caption, const QString& prompt,
                                                    const QString& value) {
    messages.push_back({Kind::Input, prompt, caption, Icon::None, {}, {}, value});
    if (inputs.empty())
        return std::nullopt;
    std::optional<QString> v;
    v.swap(inputs.front());
    inputs.pop_front();
    return v;
}

std::optional<unsigned> TScriptedPrompts::ChooseColor(unsigned) {
    if (colors.empty())
        return std::nullopt;
    const std::optional<QColor> c = colors.front();
    colors.pop_front();
    if (!c)
        return std::nullopt;
    return c->rgba();
}

QStringList TScriptedPrompts::Captions() const {
    QStringList out;
    for (const Asked& m : messages)
        out << m.caption;
    return out;
}

bool TRecordingLauncher::OpenTextEditor(const QString& path) {
    editorPaths << path;
    return true;
}

bool TRecordingLauncher::OpenBrowser(const QString& url, const QString&) {
    browserUrls << url;
    return true;
}

bool TRecordingLauncher::OpenHelp(const QString& file, int context) {
    helpFiles << file;
    contexts << context;
    return true;
}
