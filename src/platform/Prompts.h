#pragma once

#include <QString>
#include <functional>
#include <optional>

// Every question the program puts to the operator goes through here, so that
// tests can answer them, and a session without a display takes the default
// answer, without a modal dialog ever waiting.
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
    // A colour as 0xAARRGGBB, or nothing on Cancel.
    virtual std::optional<unsigned> ChooseColor(unsigned initial) = 0;

    // A message that nothing waits for: `closed` runs once it has been
    // closed, never before this call has returned. The default shows it
    // through Message (which answers at once where no one is asked).
    virtual void ShowMessage(const QString& text, const QString& caption, Icon icon,
                             std::function<void()> closed);

    // Shorthands.
    void Inform(const QString& text, const QString& caption) {
        Message(text, caption, Buttons::Ok, Icon::Information);
    }
    bool AskYesNo(const QString& text, const QString& caption, Icon icon = Icon::Question) {
        return Message(text, caption, Buttons::YesNo, icon) == Answer::Yes;
    }
};

// Answers without asking: OK where that is the only button, otherwise No or
// Cancel, and nothing for files, inputs and colours. Each question and the
// answer taken go to `log` (when set) as one line.
class TDefaultPrompts : public TPrompts {
public:
    std::function<void(const QString&)> log;

    Answer Message(const QString& text, const QString& caption, Buttons buttons,
                   Icon icon) override;
    QString OpenFileName(const QString& title, const QString&, const QString&,
                         const QString&) override;
    QString SaveFileName(const QString& title, const QString&, const QString&,
                         const QString&) override;
    std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                      const QString& value) override;
    std::optional<unsigned> ChooseColor(unsigned) override { return std::nullopt; }

private:
    void note(const QString& line);
};

// The prompts in use: the installed ones (tests), else the front end's
// default (the dialogs of the window), else TDefaultPrompts.
TPrompts& Prompts();
void SetPrompts(TPrompts* prompts); // not owned; nullptr removes them
void SetDefaultPrompts(TPrompts* prompts);
