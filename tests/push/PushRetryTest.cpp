// The retry rule against receivers that misbehave on purpose, and the
// window while one takes the connection and never answers.
#include "PushTestSupport.h"
#include "ScriptedHttpServer.h"
#include "TestSupport.h"

#include "StallMeter.h"
#include "platform/LogModel.h"
#include "push/PushDelivery.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

const QString kTime = QStringLiteral("Fri Dec 11, 2026 10:00:00");

TEST(PushRetry, WhatTheReceiverAnswersDecidesKeepOrDrop) {
    struct Case {
        const char* name;
        std::vector<int> script;
        int requests;       // what the receiver sees in all
        bool delivered;     // a 2xx ended it
        QStringList logged; // after the host, each line
    };
    const std::vector<Case> cases{
        {"503 twice, then 200",
         {503, 503, 200},
         3,
         true,
         {"failed: HTTP 503 Scripted", "failed: HTTP 503 Scripted", "Push sent to: "}},
        {"408 then 204", {408, 204}, 2, true, {"failed: HTTP 408 Scripted", "Push sent to: "}},
        {"429 then 200", {429, 200}, 2, true, {"failed: HTTP 429 Scripted", "Push sent to: "}},
        {"404", {404}, 1, false, {"failed: HTTP 404 Scripted; the alert is dropped"}},
        {"400", {400}, 1, false, {"failed: HTTP 400 Scripted; the alert is dropped"}},
        {"302 elsewhere",
         {302},
         1,
         false,
         {"failed: HTTP 302 Scripted, redirects are not followed; the alert is dropped"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedHttpServer server(c.script);
        ASSERT_TRUE(server.Listen());
        // The elsewhere of the redirect is a second receiver that must
        // never be asked.
        TScriptedHttpServer elsewhere({200});
        ASSERT_TRUE(elsewhere.Listen());
        server.location = elsewhere.Url().toUtf8();
        TPushQueue queue;
        TPushSettings settings{server.Url(), TWebhookFormat::Json, "tk", false};
        QStringList log;
        TPushDelivery delivery(queue, settings, {[&](const QString& l) { log << l; }, {}},
                               {100, 400, 15000});
        QSignalSpy finished(&delivery, &TPushDelivery::DeliveryFinished);
        delivery.QueueAlert("10.1.2.3", "Lab", "DOWN", kTime);
        ASSERT_TRUE(WaitFor([&] { return queue.IsEmpty(); }, 5000)) << log.join('\n').toStdString();
        QTest::qWait(600); // longer than any pause: a retry would show
        EXPECT_EQ(server.requests.size(), c.requests);
        EXPECT_EQ(elsewhere.requests.size(), 0);
        ASSERT_EQ(finished.size(), c.requests);
        EXPECT_EQ(finished.last().at(0).toBool(), c.delivered);
        ASSERT_EQ(log.size(), c.logged.size()) << log.join('\n').toStdString();
        for (qsizetype i = 0; i < log.size(); ++i) {
            const QString& want = c.logged[i];
            EXPECT_EQ(log[i], want.startsWith("Push sent") ? want + "127.0.0.1"
                                                           : "Push to 127.0.0.1 " + want);
        }
        for (const QByteArray& r : server.requests)
            EXPECT_TRUE(r.startsWith("POST /hook HTTP/1.1\r\n")) << r.toStdString();
    }
}

TEST(PushRetry, ThePauseDoublesUpToItsLimitAndADeliveryResetsIt) {
    TScriptedHttpServer server({503, 503, 503, 503, 200, 503, 200});
    ASSERT_TRUE(server.Listen());
    TPushQueue queue;
    TPushSettings settings{server.Url(), TWebhookFormat::Slack, {}, false};
    TPushDelivery delivery(queue, settings, {}, {150, 400, 15000});
    delivery.QueueAlert("10.1.2.3", "Lab", "DOWN", kTime);
    ASSERT_TRUE(WaitFor([&] { return queue.IsEmpty(); }, 5000));
    delivery.QueueAlert("10.1.2.3", "Lab", "Up", kTime);
    ASSERT_TRUE(WaitFor([&] { return queue.IsEmpty(); }, 5000));
    ASSERT_EQ(server.arrivals.size(), 7);
    const qint64 least[] = {150, 300, 400, 400, 0, 150};
    for (int i = 0; i < 6; ++i) {
        if (i == 4)
            continue; // the second alert goes at once
        const qint64 gap = server.arrivals[i + 1] - server.arrivals[i];
        EXPECT_GE(gap, least[i]) << "pause " << i;
        EXPECT_LT(gap, least[i] + 140) << "pause " << i;
    }
}

// A receiver that takes the connection and never says a word: the window
// goes on, the close waits for the attempt, and the attempt ends after
// its 15 s with the entry kept.
TEST(PushRetry, WindowAnswersWhileASilentReceiverHoldsThePush) {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    TScriptedHttpServer silent({0});
    ASSERT_TRUE(silent.Listen());

    TForm1::Options o;
    o.quitOnClose = false;
    TForm1 form(o);
    TSession& session = form.Session();
    session.Cycle().StopTimers();
    session.PushSettings() = {silent.Url(), TWebhookFormat::Json, "tk", false};
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    TStallMeter meter;
    QSignalSpy finished(&session.Push(), &TPushDelivery::DeliveryFinished);
    session.Push().QueueAlert("10.1.2.3", "Lab", "DOWN", kTime);
    ASSERT_TRUE(WaitFor([&] { return session.Push().DeliveryRunning(); }, 2000));
    ASSERT_TRUE(WaitFor([&] { return silent.requests.size() == 1; }, 2000));
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(session.ClosePending());
    form.TimerTimeTimer(); // still waiting: refused again
    EXPECT_TRUE(form.isVisible());

    ASSERT_TRUE(finished.wait(17000));
    meter.Stop();
    EXPECT_GE(meter.Elapsed(), 14500) << "the attempt's bound is 15 s";
    EXPECT_EQ(finished.at(0).at(0).toBool(), false);
    EXPECT_EQ(session.PushQueue().Count(), 1u);
    EXPECT_TRUE(
        session.EmailLog().Lines().contains("Push to 127.0.0.1 failed: no answer within 15 s"))
        << session.EmailLog().Lines().join('\n').toStdString();
    EXPECT_LT(meter.WorstGap(), 50) << "the GUI thread stalled, " << meter.WorstAt() << " ms in";
    form.TimerTimeTimer();
    EXPECT_FALSE(form.isVisible());
}

} // namespace
