#include "PushDelivery.h"

#include "mail/AlertQueue.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

TPushDelivery::TPushDelivery(TPushQueue& q, const TPushSettings& s, THooks h, QObject* parent)
    : TPushDelivery(q, s, std::move(h), TRetryRule{}, parent) {}

TPushDelivery::TPushDelivery(TPushQueue& q, const TPushSettings& s, THooks h, TRetryRule r,
                             QObject* parent)
    : QObject(parent), queue(q), settings(s), hooks(std::move(h)), rule(r),
      network(new QNetworkAccessManager(this)), nextPauseMs(r.firstPauseMs) {
    PushTimer.setObjectName(QStringLiteral("PushTimer"));
    PushTimer.setSingleShot(true);
    PushTimer.setParent(this);
    connect(&PushTimer, &QTimer::timeout, this, [this] { attempt(); });
    attemptTimer.setSingleShot(true);
    // A coarse timer may end the attempt up to 5 % early.
    attemptTimer.setTimerType(Qt::PreciseTimer);
    attemptTimer.setParent(this);
    connect(&attemptTimer, &QTimer::timeout, this, [this] {
        if (reply) {
            timedOut = true;
            reply->abort();
        }
    });
    // A redirect would carry the token to wherever the receiver points.
    network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

TPushDelivery::~TPushDelivery() {
    if (reply) {
        reply->disconnect(this);
        reply->abort();
    }
}

void TPushDelivery::QueueAlert(const QString& address, const QString& location,
                               const QString& transition, const QString& time) {
    if (settings.webhookURL.isEmpty())
        return;
    queue.Append({address, location, transition, time,
                  TNotificationQueue::AlertDetails(address, location, transition, time)});
    Kick();
}

void TPushDelivery::Kick() {
    if (!reply && !PushTimer.isActive())
        // Never inside the caller's step: the request starts from the loop.
        QTimer::singleShot(0, this, [this] {
            if (!reply && !PushTimer.isActive())
                attempt();
        });
}

void TPushDelivery::SettingsChanged() {
    nextPauseMs = rule.firstPauseMs;
    PushTimer.stop();
    Kick();
}

void TPushDelivery::Stop() {
    PushTimer.stop();
}

void TPushDelivery::log(const QString& line) {
    QString safe = line;
    // Whatever a peer or the network stack puts into an error text, the
    // token never reaches the log.
    if (!settings.webhookToken.isEmpty())
        safe.replace(settings.webhookToken, QStringLiteral("********"));
    if (hooks.log)
        hooks.log(safe);
}

void TPushDelivery::attempt() {
    if (reply || queue.IsEmpty() || settings.webhookURL.isEmpty() ||
        (hooks.closePending && hooks.closePending()))
        return;
    const QUrl url(settings.webhookURL);
    const QString host = url.host();
    if (!WebhookURLProblem(settings.webhookURL).isEmpty()) {
        // Kept: the operator can correct the URL, and the pause stops a
        // line every tick.
        retryLater(host, WebhookURLProblem(settings.webhookURL));
        return;
    }
    const TPushRequest composed = ComposePush(settings.webhookFormat, queue.Head());
    QNetworkRequest request(url);
    for (const auto& [name, value] : composed.headers)
        request.setRawHeader(name, value);
    if (!settings.webhookToken.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + settings.webhookToken.toUtf8());
    request.setRawHeader("User-Agent", "Velmora");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    // No cached or shared connection state from an earlier receiver.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    timedOut = false;
    sslErrors.clear();
    reply = network->post(request, composed.body);
    // The errors are only recorded: the reply fails the handshake by itself,
    // and nothing here can tell it to go on.
    connect(reply, &QNetworkReply::sslErrors, this,
            [this](const QList<QSslError>& errors) { sslErrors += errors; });
    connect(reply, &QNetworkReply::finished, this, [this] { finished(); });
    attemptTimer.start(rule.attemptMs);
}

QString TPushDelivery::failureReason(QNetworkReply& r) const {
    if (timedOut)
        return QStringLiteral("no answer within %1 s").arg(rule.attemptMs / 1000);
    if (!sslErrors.isEmpty()) {
        QStringList texts;
        for (const QSslError& e : sslErrors)
            if (!texts.contains(e.errorString()))
                texts << e.errorString();
        return QStringLiteral("certificate not accepted: ") + texts.join(QStringLiteral("; "));
    }
    switch (r.error()) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("connection closed by the receiver");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("host not found");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("TLS handshake failed");
    case QNetworkReply::TimeoutError:
        return QStringLiteral("connection timed out");
    default:
        break;
    }
    // Qt's text names the URL, which may hold credentials: say the code.
    return QStringLiteral("network error %1").arg(int(r.error()));
}

void TPushDelivery::finished() {
    attemptTimer.stop();
    QNetworkReply* r = reply;
    reply = nullptr;
    r->deleteLater();
    const QString host = r->url().host();
    const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        retryLater(host, failureReason(*r));
        emit DeliveryFinished(false);
        return;
    }
    const int code = status.toInt();
    const QString answer =
        QStringLiteral("HTTP %1 %2")
            .arg(code)
            .arg(QString::fromLatin1(
                     r->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray())
                     .left(80))
            .trimmed();
    if (code >= 200 && code <= 299) {
        queue.RemoveHead();
        nextPauseMs = rule.firstPauseMs;
        log(QStringLiteral("Push sent to: ") + host);
        emit DeliveryFinished(true);
        Kick();
        return;
    }
    if (code == 408 || code == 429 || code >= 500) {
        retryLater(host, answer);
        emit DeliveryFinished(false);
        return;
    }
    // The receiver refused this push; it would refuse it again.
    queue.RemoveHead();
    log(QStringLiteral("Push to ") + host + QStringLiteral(" failed: ") + answer +
        (code >= 300 && code <= 399 ? QStringLiteral(", redirects are not followed") : QString()) +
        QStringLiteral("; the alert is dropped"));
    emit DeliveryFinished(false);
    Kick();
}

void TPushDelivery::retryLater(const QString& host, const QString& reason) {
    log(QStringLiteral("Push to ") + host + QStringLiteral(" failed: ") + reason);
    PushTimer.start(nextPauseMs);
    nextPauseMs = std::min(nextPauseMs * 2, rule.longestPauseMs);
}
