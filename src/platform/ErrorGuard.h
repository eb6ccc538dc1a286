#pragma once

#include <QString>
#include <functional>

// The standard error display: the error's text in a message box captioned
// "Velmora" (through the prompts, so a session without a display logs it).
void ShowError(const QString& text);

// Runs a handler; an error that escapes it, ours or any std::exception, is
// shown by the standard error display and the rest of the handler is skipped.
// Returns false when it caught one.
bool Guarded(const std::function<void()>& handler);
