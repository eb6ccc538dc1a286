#include "MailDelivery.h"

#include "mail/SMTPClient.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <optional>

namespace {

constexpr qint64 kFirstLoginPauseMs = 60 * 1000;
constexpr qint64 kLongestLoginPauseMs = 30 * 60 * 1000;

bool SameEntry(const TQueueEntry& a, const TQueueEntry& b) {
    return a.address == b.address && a.subject == b.subject && a.details == b.details;
}

// The menu toggles (debugging, holding the queue) leave the login as it was.
bool SameLoginSettings(TEmailSettings a, const TEmailSettings& b) {
    a.debugEMAIL = b.debugEMAIL;
    a.dontNotify = b.dontNotify;
    return a == b;
}

} // namespace

TMailDelivery::TMailDelivery(TNotificationQueue& queue, TEmailSettings& email, TSMTPClient& client,
                             QTimer& emailTimer, THooks hooks, QObject* parent)
    : QObject(parent), queue(queue), email(email), client(client), EMAILTimer(emailTimer),
      hooks(std::move(hooks)) {
    connect(&EMAILTimer, &QTimer::timeout, this, &TMailDelivery::EMAILTimerTimer);
    connect(&client, &TSMTPClient::Finished, this, &TMailDelivery::deliveryEnded);
}

void TMailDelivery::log(const QString& line) {
    if (hooks.log)
        hooks.log(line);
}

qint64 TMailDelivery::nowMs() const {
    return (clock ? *clock : Clock()).monotonicMs();
}

bool TMailDelivery::loginPauseHolds(const TQueueEntry& head) {
    if (!loginPause.active)
        return false;
    if (!SameEntry(head, loginPause.entry) || !SameLoginSettings(email, loginPause.settings)) {
        loginPause = {};
        return false;
    }
    return nowMs() < loginPause.untilMs;
}

void TMailDelivery::startLoginPause(const TQueueEntry& entry) {
    const bool again = loginPause.active && SameEntry(entry, loginPause.entry) &&
                       SameLoginSettings(email, loginPause.settings);
    const qint64 length =
        again ? std::min(loginPause.lengthMs * 2, kLongestLoginPauseMs) : kFirstLoginPauseMs;
    loginPause = {true, length, nowMs() + length, entry, email};
    const qint64 minutes = length / 60000;
    log(QStringLiteral(":::Login refused: this EMAIL is tried again in %1 %2, or at the next tick "
                       "after the EMAIL settings change.")
            .arg(minutes)
            .arg(minutes == 1 ? QStringLiteral("minute") : QStringLiteral("minutes")));
}

void TMailDelivery::restartTimer() {
    if (timerHolds > 0)
        timerWanted = true;
    else
        EMAILTimer.start();
}

void TMailDelivery::EMAILTimerTimer() {
    if (delivering || (hooks.closePending && hooks.closePending()))
        return;
    EMAILTimer.stop();
    if (queue.IsEmpty() || email.sitesCritical == 0 || email.dontNotify) {
        restartTimer();
        return;
    }
    const TQueueEntry entry = queue.Head();
    if (loginPauseHolds(entry)) {
        restartTimer();
        return;
    }
    delivering = true;
    headCleared = false;
    underDelivery = entry;
    if (!client.DeliverMail(entry.address, entry.subject, entry.details)) {
        delivering = false;
        restartTimer();
    }
}

void TMailDelivery::deliveryEnded(bool delivered) {
    if (!delivering)
        return;
    delivering = false;
    if (delivered)
        loginPause = {};
    else if (client.LoginRefused())
        startLoginPause(underDelivery);
    if (headCleared && !queue.IsEmpty()) {
        // Already reported deleted when the queue was cleared.
        queue.RemoveHead();
        headCleared = false;
    } else if (delivered && !queue.IsEmpty()) {
        queue.RemoveHead();
    }
    if (delivered) {
        log(QStringLiteral("Delivered EMAIL deleted from notification queue."));
        log(QString());
        ActionDisplayEMAILQueueExecute();
    }
    restartTimer();
    emit DeliveryFinished(delivered);
}

void TMailDelivery::ActionDisplayEMAILQueueExecute() {
    if (hooks.showLog)
        hooks.showLog();
    const auto& entries = queue.Entries();
    // A head cleared during its delivery is no longer pending.
    const size_t first = (delivering && headCleared) ? 1 : 0;
    if (entries.size() <= first) {
        log(QStringLiteral("EMAIL queue is empty."));
    } else {
        int n = 1;
        for (size_t i = first; i < entries.size(); ++i, ++n) {
            const TQueueEntry& e = entries[i];
            log(QString::number(n) + QStringLiteral(".  Notify Address: ") + e.address);
            log(QStringLiteral("     Subject: ") + e.subject + QStringLiteral("  Details: ") +
                e.details);
        }
    }
    log(QString());
}

void TMailDelivery::ClearEMAILQueue(bool confirmed) {
    if (confirmed) {
        // The entry under delivery is still in use; it is reported deleted
        // with the others and leaves when its delivery ends.
        const bool keepHead = delivering && !headCleared && !queue.IsEmpty();
        const size_t skip = (delivering && headCleared) ? 1 : 0;
        const size_t count = queue.Count() - std::min(queue.Count(), skip);
        if (count > 0) {
            for (size_t n = 1; n <= count; ++n)
                log(QString::number(n) + QStringLiteral(". EMAIL Message Deleted."));
            log(QString());
        }
        std::optional<TQueueEntry> head;
        if (keepHead || skip)
            head = queue.Head();
        queue.Clear();
        if (head) {
            queue.Append(*head);
            headCleared = true;
        }
    }
    ActionDisplayEMAILQueueExecute();
}

void TMailDelivery::ActionHoldEMAILNotificationExecute(bool checked, TIniFile& ini) {
    email.dontNotify = checked;
    TEmailSettings::WriteDontNotify(ini, checked);
}

void TMailDelivery::DebugEMAILExecute(bool checked, TIniFile& ini) {
    email.debugEMAIL = checked;
    TEmailSettings::WriteDebugEMAIL(ini, checked);
}

void TMailDelivery::HoldTimer() {
    if (timerHolds++ == 0)
        timerWanted = EMAILTimer.isActive();
    EMAILTimer.stop();
}

void TMailDelivery::ReleaseTimer() {
    if (timerHolds == 0 || --timerHolds > 0)
        return;
    if (timerWanted)
        EMAILTimer.start();
    timerWanted = false;
}
