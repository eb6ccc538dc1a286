#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// Tells the desktop's notification service of every DOWN and Up change,
// through org.freedesktop.Notifications on the session bus. The call is
// asynchronous: a slow or missing service never holds the window. Only the
// windowed program has one; a service without a desktop has no one to tell.
class TDesktopNotifier : public QObject {
    Q_OBJECT
public:
    // `log` writes to the monitor log; it is told once, at the first
    // failure, so that a desktop without the service is not flooded.
    explicit TDesktopNotifier(std::function<void(const QString&)> log, QObject* parent = nullptr);
    ~TDesktopNotifier() override;

    // `cells` are the row's first five cells: address, location, critical,
    // status, since.
    void DeviceChanged(bool down, const QStringList& cells);

    static constexpr const char* kService = "org.freedesktop.Notifications";

signals:
    // The service's answer to a Notify call (tests wait for it).
    void Answered(bool ok);

private:
    void failed(const QString& why);

    std::function<void(const QString&)> log;
    bool failureLogged = false;
    // A connection of its own, made at the first change: the session bus
    // is the one the environment names at that moment.
    QString connectionName;
    bool connected = false;
};
