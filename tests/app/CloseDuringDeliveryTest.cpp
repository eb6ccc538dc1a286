#include "TestSupport.h"
#include "app/MainWindow.h"
#include "mail/MailDelivery.h"
#include "mail/SMTPClient.h"
#include "monitor/MonitorCycle.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A mail server that takes the connection and never says a word.
TEST(CloseDuringDelivery, WindowAnswersAndTheCloseWaitsForTheDelivery) {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress("127.0.0.1")));

    TForm1::Options o;
    o.quitOnClose = false;
    TForm1 form(o);
    form.cycle->StopTimers();
    form.email.useMXAddress = true;
    form.email.mxAddress = "127.0.0.1";
    form.email.yourAddress = "velmora@example.org";
    form.localHostIP = "127.0.0.1";
    form.smtp->SetPort(silent.serverPort());
    form.TimerSMTP.setInterval(1500);
    form.TimerSMTP2.setInterval(1500);
    form.queue.Append({"ops@example.org", "Velmora Alert", "x [ 10.0.0.1 ]  DOWN on: now"});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    QElapsedTimer clock;
    qint64 worstGap = 0, last = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worstGap = std::max(worstGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    tick.start();

    QSignalSpy finished(form.mailDelivery, &TMailDelivery::DeliveryFinished);
    form.mailDelivery->EMAILTimerTimer();
    ASSERT_TRUE(form.mailDelivery->DeliveryRunning());
    QTest::qWait(200);
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.closePending);
    form.TimerTimeTimer(); // still delivering: the retry is refused too
    EXPECT_TRUE(form.isVisible());

    ASSERT_TRUE(finished.wait(10000));
    tick.stop();
    EXPECT_EQ(finished.at(0).at(0).toBool(), false);
    EXPECT_EQ(form.queue.Count(), 1u) << "an undelivered entry stays queued";
    EXPECT_LT(worstGap, 50) << "the GUI thread stalled";
    form.TimerTimeTimer();
    EXPECT_FALSE(form.isVisible());
}

} // namespace
