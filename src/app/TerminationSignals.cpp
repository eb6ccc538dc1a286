#include "TerminationSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int s) {
    // Only the pipe: nothing else is safe inside a signal handler.
    const char c = char(s);
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

} // namespace

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent) {
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    struct sigaction sa = {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &sa, nullptr);
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        const auto n = ::read(signalPipe[0], buf, sizeof buf);
        if (n > 0)
            emit Requested(int(buf[n - 1]));
    });
}

TTerminationSignals::~TTerminationSignals() {
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &sa, nullptr);
}
