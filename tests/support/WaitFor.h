#pragma once

#include <QElapsedTimer>
#include <QTest>
#include <functional>

// Runs the event loop until `done` holds or `ms` have passed. QTRY_* would
// report to QtTest, which no GoogleTest case hears.
inline bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QTest::qWait(20);
    }
    return true;
}
