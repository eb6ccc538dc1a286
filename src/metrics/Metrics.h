#pragma once

#include "MetricsFamilies.h"
#include "MetricsSettings.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <memory>

class TDeviceGrid;
class TMetricsListener;

// The program's results for Prometheus: the families, fed by the session
// where the cycle records an echo, the transition rules change a state and
// the alert queue moves, and the listener that serves them. Everything
// here runs on the GUI thread except the listener's own threads, which
// only read the families' atomics.
class TMetrics : public QObject {
    Q_OBJECT
public:
    explicit TMetrics(const TDeviceGrid& grid, QObject* parent = nullptr);
    ~TMetrics() override;

    void EchoRecorded(int row, bool replied, quint32 roundTripMs);
    void StateChanged(int row, bool up, const QDateTime& t);
    void CyclePosition(int loopCount);
    void QueueChanged(size_t entries);
    void DeliveryFinished(bool delivered);

    // Starts, moves or stops the listener as `listen` says; the outcome
    // comes as ListenerChanged or ListenerFailed.
    void Listen(const QString& listen);
    // What the listener serves at present ("" when off).
    const QString& ListeningAt() const { return listening; }

    const TMetricsFamilies& Families() const { return *families; }

signals:
    void ListenerChanged(const QString& address);
    // One line for the operator.
    void ListenerFailed(const QString& line);

private:
    // The series follow the grid's devices: rows added, removed, reloaded
    // or with a new address or location are matched up at each change.
    void reconcile();
    TDeviceSeries* seriesOf(int row);

    const TDeviceGrid& grid;
    std::shared_ptr<TMetricsFamilies> families;
    TMetricsListener* listener;
    QHash<QString, std::shared_ptr<TDeviceSeries>> byDevice;
    int lastLoopCount = 0;
    QString wanted;    // the address last asked for
    QString listening; // the address served
};
