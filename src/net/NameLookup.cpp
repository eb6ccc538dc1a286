#include "NameLookup.h"

#include <QHostInfo>

TNameLookup::TNameLookup(QObject* parent) : QObject(parent) {
    bound.setSingleShot(true);
    connect(&bound, &QTimer::timeout, this, [this] {
        Abort();
        emit TimedOut();
    });
}

TNameLookup::~TNameLookup() {
    Abort();
}

void TNameLookup::Start(const QString& name, int boundMs) {
    Abort();
    running = true;
    const quint64 serial = current;
    if (boundMs > 0)
        bound.start(boundMs);
    // QHostInfo would look a numeric address up backwards, asking a DNS
    // server for its name; it needs no lookup at all.
    QHostAddress literal;
    if (literal.setAddress(name)) {
        QMetaObject::invokeMethod(
            this, [this, serial, literal] { answer(serial, {literal}); }, Qt::QueuedConnection);
        return;
    }
    lookupId = QHostInfo::lookupHost(name, this, [this, serial](const QHostInfo& info) {
        answer(serial,
               info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>());
    });
}

void TNameLookup::Abort() {
    bound.stop();
    if (lookupId >= 0)
        QHostInfo::abortHostLookup(lookupId);
    lookupId = -1;
    running = false;
    ++current;
}

void TNameLookup::answer(quint64 serial, const QList<QHostAddress>& addresses) {
    if (serial != current || !running)
        return;
    bound.stop();
    lookupId = -1;
    running = false;
    ++current;
    emit Found(addresses);
}

std::optional<QHostAddress> TNameLookup::FirstIPv4(const QList<QHostAddress>& addresses) {
    for (const QHostAddress& a : addresses)
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a;
    return std::nullopt;
}
