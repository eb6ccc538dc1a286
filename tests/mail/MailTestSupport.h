#pragma once

#include "mail/AlertQueue.h"
#include "mail/MailDelivery.h"
#include "mail/MailSettings.h"
#include "mail/SMTPClient.h"

#include "QtPrinters.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>

// The window's side of the SMTP client for one test: settings, the EMAIL Log as lines (split as the
// pane splits them) and the DNS Resolver page's server.
class TMailRig {
public:
    TEmailSettings email;
    QStringList log;
    QStringList dnsServers;
    QString localIP = QStringLiteral("127.0.0.1");
    QString clock = QStringLiteral("Thu Dec 10, 2026 11:22:33");
    bool closePending = false;
    TSMTPClient client;

    TMailRig()
        : client(email, TSMTPHooks{[this](const QString& text) { append(text); },
                                   [this] { return closePending; }, [this] { return dnsServers; },
                                   [this] { return dnsServers.value(0); },
                                   [this] { return localIP; }, [this] { return clock; }}) {
        email.debugEMAIL = true;
        email.yourAddress = QStringLiteral("velmora@velmora.test");
    }

    void append(const QString& text) {
        static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
        log += text.split(lineBreak);
    }

    // Delivers and waits for the outcome at most `waitMs`; nothing when
    // none came.
    std::optional<bool> Deliver(const QString& to, const QString& subject, const QString& details,
                                int waitMs = 10000) {
        QSignalSpy spy(&client, &TSMTPClient::Finished);
        if (!client.DeliverMail(to, subject, details))
            return std::nullopt;
        if (spy.isEmpty() && !spy.wait(waitMs))
            return std::nullopt;
        return spy.first().first().toBool();
    }

    // The log lines that begin with `prefix`.
    QStringList LinesStarting(const QString& prefix) const {
        QStringList out;
        for (const QString& l : log)
            if (l.startsWith(prefix))
                out << l;
        return out;
    }
};

// A fixture with the queue and its delivery over a rig's client, wired as
// the session wires them, with the EMAIL Log going to the rig.
class TDeliveryFixture : public ::testing::Test {
protected:
    TMailRig rig;
    TNotificationQueue queue;
    QTimer EMAILTimer;
    TMailDelivery delivery{queue,
                           rig.email,
                           rig.client,
                           EMAILTimer,
                           {[this](const QString& l) { rig.append(l); }, {}, {}}};
};

// A stored alert as a server kept it: our headers in our order (from
// velmora@velmora.test to ops@velmora.test, dated `date`), then the one body
// line; the server adds its own X- headers, which are left out.
inline void ExpectAlertMessage(const QString& stored, const QString& date, const QString& body) {
    QStringList lines = stored.split('\n');
    for (QString& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    const qsizetype blank = lines.indexOf(QString());
    ASSERT_GT(blank, 0) << stored.toStdString();
    QStringList headers = lines.mid(0, blank);
    headers.removeIf([](const QString& h) { return h.startsWith("X-"); });
    EXPECT_EQ(headers,
              (QStringList{"Date: " + date, "From: velmora@velmora.test", "Subject: Velmora Alert",
                           "Reply-To: velmora@velmora.test", "To: ops@velmora.test"}));
    QStringList rest = lines.mid(blank + 1);
    while (!rest.isEmpty() && rest.last().isEmpty())
        rest.removeLast();
    EXPECT_EQ(rest, QStringList{body});
}
