#include "ErrorGuard.h"

#include "Prompts.h"
#include "VelmoraError.h"

void ShowError(const QString& text) {
    Prompts().Message(text, QStringLiteral("Velmora"), TPrompts::Buttons::Ok,
                      TPrompts::Icon::Error);
}

bool Guarded(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const TVelmoraError& e) {
        ShowError(e.message());
    } catch (const std::exception& e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}
