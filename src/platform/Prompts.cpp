#include "Prompts.h"

#include <QTimer>

namespace {

TPrompts* installed = nullptr;
TPrompts* frontEnd = nullptr;

} // namespace

void TPrompts::ShowMessage(const QString& text, const QString& caption, Icon icon,
                           std::function<void()> closed) {
    Message(text, caption, Buttons::Ok, icon);
    if (closed)
        QTimer::singleShot(0, std::move(closed));
}

void TDefaultPrompts::note(const QString& line) {
    if (log)
        log(line);
}

TPrompts::Answer TDefaultPrompts::Message(const QString& text, const QString& caption,
                                          Buttons buttons, Icon) {
    const Answer a = buttons == Buttons::Ok      ? Answer::Ok
                     : buttons == Buttons::YesNo ? Answer::No
                                                 : Answer::Cancel;
    static const char* const names[] = {"OK", "Yes", "No", "Cancel"};
    note(QStringLiteral("%1: %2 [%3]").arg(caption, text, QLatin1String(names[int(a)])));
    return a;
}

QString TDefaultPrompts::OpenFileName(const QString& title, const QString&, const QString&,
                                      const QString&) {
    note(QStringLiteral("%1: no file chosen").arg(title));
    return {};
}

QString TDefaultPrompts::SaveFileName(const QString& title, const QString&, const QString&,
                                      const QString&) {
    note(QStringLiteral("%1: no file chosen").arg(title));
    return {};
}

std::optional<QString> TDefaultPrompts::InputQuery(const QString& caption, const QString& prompt,
                                                   const QString&) {
    note(QStringLiteral("%1: %2 [Cancel]").arg(caption, prompt));
    return std::nullopt;
}

TPrompts& Prompts() {
    static TDefaultPrompts fallback;
    if (installed)
        return *installed;
    return frontEnd ? *frontEnd : fallback;
}

void SetPrompts(TPrompts* prompts) {
    installed = prompts;
}

void SetDefaultPrompts(TPrompts* prompts) {
    frontEnd = prompts;
}
