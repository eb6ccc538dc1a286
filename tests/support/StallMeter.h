#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

// Times the event loop of this thread with a 10 ms timer from construction
// until Stop(): the longest wait between two ticks, and when it came. A
// loop that never blocks keeps the longest wait well under 50 ms.
class TStallMeter {
public:
    TStallMeter() {
        tick.setInterval(10);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            if (now - last > worst) {
                worst = now - last;
                worstAt = now;
            }
            last = now;
            ++ticks;
        });
        clock.start();
        tick.start();
    }
    void Stop() { tick.stop(); }
    qint64 WorstGap() const { return worst; }
    // Milliseconds from the start to the end of the longest wait.
    qint64 WorstAt() const { return worstAt; }
    qint64 Elapsed() const { return clock.elapsed(); }
    int Ticks() const { return ticks; }

private:
    QTimer tick;
    QElapsedTimer clock;
    qint64 last = 0, worst = 0, worstAt = 0;
    int ticks = 0;
};
