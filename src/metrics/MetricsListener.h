#pragma once

#include "MetricsSettings.h"

#include <QObject>
#include <QThread>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TMetricsFamilies;

// The HTTP listener of /metrics, on civetweb. Starting, moving and stopping it happen on
// a thread of its own: stopping civetweb waits for its connections, which
// the GUI thread must never do. Each request ends in Listening or Failed.
class TMetricsListener : public QObject {
    Q_OBJECT
public:
    explicit TMetricsListener(std::shared_ptr<const TMetricsFamilies> families,
                              QObject* parent = nullptr);
    ~TMetricsListener() override;

    // Listens on `address` alone; nothing stops it.
    void Move(const std::optional<TListenAddress>& address);

    // The civetweb options the listener runs with (the README names them).
    static std::vector<std::string> Options(const TListenAddress& address);

signals:
    // Served at `address` ("" once stopped).
    void Listening(const QString& address);
    // `address` could not be bound; nothing is served.
    void Failed(const QString& address, const QString& reason);

private:
    QThread thread;
    QObject* worker;                                                // lives on `thread`
    std::function<void(std::optional<TListenAddress>)> moveRequest; // runs there
};
