#pragma once

#include <QDateTime>
#include <chrono>

// The present moment, replaceable in tests so that delays of minutes or a
// year-old Since key are checked in milliseconds.
class TClock {
public:
    virtual ~TClock() = default;
    virtual QDateTime now() const = 0;
    // Milliseconds on a clock that a change of the wall clock (an NTP step,
    // the operator) does not move; for measuring how long something lasted.
    virtual qint64 monotonicMs() const = 0;
};

class TSystemClock : public TClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// A clock that stands still until told to move. Advancing moves both clocks;
// set() steps the wall clock alone, as an NTP step does.
class TManualClock : public TClock {
public:
    explicit TManualClock(QDateTime start) : current(std::move(start)) {}
    QDateTime now() const override { return current; }
    qint64 monotonicMs() const override { return mono; }
    void set(const QDateTime& t) { current = t; }
    void advanceSecs(qint64 s) { advanceMSecs(s * 1000); }
    void advanceMSecs(qint64 ms) {
        current = current.addMSecs(ms);
        mono += ms;
    }

private:
    QDateTime current;
    qint64 mono = 0;
};

// The clock every engine reads. Never null; defaults to the system clock.
const TClock& Clock();
// Installs a clock (not owned); nullptr restores the system clock.
void SetClock(const TClock* clock);
