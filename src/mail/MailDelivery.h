#pragma once

#include "mail/AlertQueue.h"
#include "mail/MailSettings.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class TClock;
class TIniFile;
class TSMTPClient;

// Delivery of the notification queue, one head entry per EMAILTimer tick,
// and the queue commands of the "EMAIL Notification" menu. EMAILTimer
// stays stopped while a delivery runs, which is how the close rule knows.
class TMailDelivery : public QObject {
    Q_OBJECT
public:
    struct THooks {
        std::function<void(const QString&)> log; // the EMAIL Log
        std::function<void()> showLog;           // brings the "EMAIL Log" tab to the front
        std::function<bool()> closePending;
    };

    TMailDelivery(TNotificationQueue& queue, TEmailSettings& email, TSMTPClient& client,
                  QTimer& emailTimer, THooks hooks, QObject* parent = nullptr);

    // Handlers with their fixed names.
    void EMAILTimerTimer();
    void ActionDisplayEMAILQueueExecute();
    // The operator's answer to "Are you sure ?" has been given: on Yes the
    // queue is emptied, and in every case the queue is shown.
    void ClearEMAILQueue(bool confirmed);
    // The check mark has been toggled to `checked`; store and write it.
    void ActionHoldEMAILNotificationExecute(bool checked, TIniFile& ini);
    void DebugEMAILExecute(bool checked, TIniFile& ini);

    bool DeliveryRunning() const { return delivering; }
    void ShowLog() {
        if (hooks.showLog)
            hooks.showLog();
    }

    // The EMAIL Notification dialog holds EMAILTimer while it is open and
    // then gives it back the state it would have had: running if it ran at
    // the start or a delivery ended meanwhile.
    void HoldTimer();
    void ReleaseTimer();

    // The clock the pause after a refused login is measured on; the
    // program's clock when none is set.
    void UseClock(const TClock* c) { clock = c; }

signals:
    void DeliveryFinished(bool delivered);

private:
    void deliveryEnded(bool delivered);
    void restartTimer();
    void log(const QString& line);
    bool loginPauseHolds(const TQueueEntry& head);
    void startLoginPause(const TQueueEntry& entry);
    qint64 nowMs() const;

    TNotificationQueue& queue;
    TEmailSettings& email;
    TSMTPClient& client;
    QTimer& EMAILTimer;
    THooks hooks;
    bool delivering = false;
    // The entry under delivery stays at the head until the delivery ends;
    // a clear meanwhile marks it, and it goes when the delivery ends.
    bool headCleared = false;
    int timerHolds = 0;
    bool timerWanted = false;  // the state to give back after the holds
    TQueueEntry underDelivery; // the entry of the delivery running or last run

    // A refused login is not tried again every tick: that would lock many
    // servers' accounts. The entry waits, longer each time, until a
    // delivery succeeds or the e-mail settings change.
    struct TLoginPause {
        bool active = false;
        qint64 lengthMs = 0;
        qint64 untilMs = 0;
        TQueueEntry entry;
        TEmailSettings settings; // as they were when the login was refused
    } loginPause;
    const TClock* clock = nullptr;
};
