#pragma once

#include <QDateTime>

// The present moment, replaceable in tests so that delays of minutes or a
// year-old Since key are checked in milliseconds.
class TClock {
public:
    virtual ~TClock() = default;
    virtual QDateTime now() const = 0;
};

class TSystemClock : public TClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that stands still until told to move.
class TManualClock : public TClock {
public:
    explicit TManualClock(QDateTime start) : current(std::move(start)) {}
    QDateTime now() const override { return current; }
    void set(const QDateTime& t) { current = t; }
    void advanceSecs(qint64 s) { current = current.addSecs(s); }
    void advanceMSecs(qint64 ms) { current = current.addMSecs(ms); }

private:
    QDateTime current;
};

// The clock every engine reads. Never null; defaults to the system clock.
const TClock& Clock();
// Installs a clock (not owned); nullptr restores the system clock.
void SetClock(const TClock* clock);
