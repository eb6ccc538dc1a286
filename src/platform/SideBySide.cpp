#include "SideBySide.h"

#include <optional>
#include <system_error>
#include <thread>

void RunSideBySide(const std::function<void()>& here, const std::function<void()>& there) {
    std::optional<std::thread> thread;
    try {
        thread.emplace(there);
    } catch (const std::system_error&) {
        // No thread to be had: the same work, one part after the other.
    }
    here();
    if (thread)
        thread->join();
    else
        there();
}
