#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP as a Qt signal on the event loop, so that a
// termination goes through the same close rule as the window's close
// button. One per process.
class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;

signals:
    void Requested(int signalNumber);

private:
    QSocketNotifier* notifier = nullptr;
};
