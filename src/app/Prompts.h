#pragma once

#include <QColor>
#include <QString>
#include <optional>

class QWidget;

// Every question the program puts to the operator goes through here, so that
// tests can answer them without a modal dialog ever waiting.
class TPrompts {
public:
    enum class Icon { None, Information, Warning, Error, Question };
    enum class Buttons { Ok, YesNo, YesNoCancel, OkCancel };
    enum class Answer { Ok, Yes, No, Cancel };

    virtual ~TPrompts() = default;

    virtual Answer Message(const QString& text, const QString& caption, Buttons buttons,
                           Icon icon) = 0;
    // File dialogs return an empty text when the operator cancels. `filter`
    // is in the "Description|pattern|Description|pattern" form.
    virtual QString OpenFileName(const QString& title, const QString& filter,
                                 const QString& defaultExt, const QString& folder) = 0;
    virtual QString SaveFileName(const QString& title, const QString& filter,
                                 const QString& defaultExt, const QString& folder) = 0;
    // Returns the edited value, or nothing on Cancel.
    virtual std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                              const QString& value) = 0;
    virtual std::optional<QColor> ChooseColor(const QColor& initial) = 0;

    // Shorthands.
    void Inform(const QString& text, const QString& caption) {
        Message(text, caption, Buttons::Ok, Icon::Information);
    }
    bool AskYesNo(const QString& text, const QString& caption) {
        return Message(text, caption, Buttons::YesNo, Icon::Question) == Answer::Yes;
    }
};

// The prompts in use. Never null: defaults to real dialogs parented to the
// main window.
TPrompts& Prompts();
void SetPrompts(TPrompts* prompts); // not owned; nullptr restores the dialogs
void SetPromptParent(QWidget* parent);
