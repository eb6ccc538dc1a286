#include "Clock.h"

#include <atomic>

namespace {
TSystemClock systemClock;
std::atomic<const TClock*> installed{nullptr};
} // namespace

const TClock& Clock() {
    const TClock* c = installed.load();
    return c ? *c : systemClock;
}

void SetClock(const TClock* clock) {
    installed.store(clock);
}
