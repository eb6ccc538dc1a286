#pragma once

#include <functional>

// Runs `here` on this thread and `there` on a second one at the same time,
// and returns once both are done; one after the other when no thread starts.
void RunSideBySide(const std::function<void()>& here, const std::function<void()>& there);
