#pragma once

#include "PushSettings.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// One announced change, as it waits for its push.
struct TPushEntry {
    QString address;
    QString location;
    QString state; // "DOWN", "Up", or "Test" for the dialog's test
    QString time;  // the alert's time text
    QString text;  // the alert text the e-mail carries

    bool operator==(const TPushEntry&) const = default;
};

// What one push sends: always a POST to the webhook URL.
struct TPushRequest {
    QList<QPair<QByteArray, QByteArray>> headers; // Content-Type first
    QByteArray body;
};

// The body and headers of `entry` in `format`. The bearer token is added
// by the delivery, never here, so that nothing composed can leak it.
TPushRequest ComposePush(TWebhookFormat format, const TPushEntry& entry);

// A header value that cannot break the request: line breaks and other
// control characters become blanks, and text beyond ASCII is sent as an
// RFC 2047 encoded word, which ntfy decodes.
QByteArray HeaderValue(const QString& text);
