#pragma once

#include "PushQueue.h"
#include "PushSettings.h"

#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QTimer>
#include <functional>

class QNetworkAccessManager;

// Delivery of the push queue to the webhook, one head entry at a time.
// A 2xx answer delivers; a time-out, a connection or TLS failure, 408, 429
// and 5xx keep the entry and try again after a pause that doubles up to a
// limit; any other answer drops it, since sending it again cannot help.
class TPushDelivery : public QObject {
    Q_OBJECT
public:
    struct THooks {
        std::function<void(const QString&)> log; // the EMAIL Log
        std::function<bool()> closePending;
    };
    struct TRetryRule {
        int firstPauseMs = 30 * 1000;
        int longestPauseMs = 15 * 60 * 1000;
        int attemptMs = 15 * 1000; // the bound of one attempt
    };

    TPushDelivery(TPushQueue& queue, const TPushSettings& settings, THooks hooks,
                  QObject* parent = nullptr);
    TPushDelivery(TPushQueue& queue, const TPushSettings& settings, THooks hooks, TRetryRule rule,
                  QObject* parent = nullptr);
    ~TPushDelivery() override;

    // One push for an announced change, when a URL is set.
    void QueueAlert(const QString& address, const QString& location, const QString& transition,
                    const QString& time);
    // Tries the head entry now unless an attempt runs or a pause holds.
    void Kick();
    // New settings: a pause earned by the old ones ends.
    void SettingsChanged();
    void Stop();

    bool DeliveryRunning() const { return reply != nullptr; }
    bool Pausing() const { return PushTimer.isActive(); }
    int NextPauseMs() const { return nextPauseMs; }

    // The next attempt after a failure.
    QTimer PushTimer;

signals:
    void DeliveryFinished(bool delivered);

private:
    void attempt();
    void finished();
    void retryLater(const QString& host, const QString& reason);
    void log(const QString& line);
    QString failureReason(QNetworkReply& r) const;

    TPushQueue& queue;
    const TPushSettings& settings;
    THooks hooks;
    TRetryRule rule;
    QNetworkAccessManager* network;
    QPointer<QNetworkReply> reply;
    QTimer attemptTimer;
    bool timedOut = false;
    QList<QSslError> sslErrors;
    int nextPauseMs;
};
