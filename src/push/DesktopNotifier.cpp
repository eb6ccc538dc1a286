#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

TDesktopNotifier::TDesktopNotifier(std::function<void(const QString&)> l, QObject* parent)
    : QObject(parent), log(std::move(l)),
      connectionName(QStringLiteral("velmora-notify-%1").arg(quintptr(this), 0, 16)) {}

TDesktopNotifier::~TDesktopNotifier() {
    if (connected)
        QDBusConnection::disconnectFromBus(connectionName);
}

void TDesktopNotifier::failed(const QString& why) {
    emit Answered(false);
    if (failureLogged)
        return;
    failureLogged = true;
    if (log)
        log(QStringLiteral("Desktop notification failed: ") + why);
}

void TDesktopNotifier::DeviceChanged(bool down, const QStringList& cells) {
    const QString address = cells.value(0);
    const QString location = cells.value(1);
    const QString since = cells.value(4);
    if (!connected) {
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
        connected = true;
    }
    QDBusConnection bus(connectionName);
    if (!bus.isConnected()) {
        failed(QStringLiteral("no session bus"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(kService), QStringLiteral("/org/freedesktop/Notifications"),
        QLatin1String(kService), QStringLiteral("Notify"));
    QVariantMap hints;
    // 2 critical, 1 normal: a critical notification stays until dismissed.
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(down ? 2 : 1)));
    // The summary is plain text by the protocol; the body may be read as
    // markup, so the device's texts are escaped there.
    call << QStringLiteral("Velmora") << uint(0) << QString()
         << (down ? QStringLiteral("DOWN: ") : QStringLiteral("Up: ")) + location
         << (address + QStringLiteral(" since ") + since).toHtmlEscaped() << QStringList() << hints
         << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 10000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            failed(reply.error().message());
        else
            emit Answered(true);
    });
}
