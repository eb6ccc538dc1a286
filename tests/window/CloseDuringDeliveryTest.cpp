#include "TestSupport.h"
#include "mail/MailDelivery.h"
#include "mail/SMTPClient.h"
#include "monitor/MonitorCycle.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include "StallMeter.h"
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
    form.Session().Cycle().StopTimers();
    form.Session().Email().useMXAddress = true;
    form.Session().Email().mxAddress = "127.0.0.1";
    form.Session().Email().yourAddress = "velmora@example.org";
    form.Session().SetLocalHostIP("127.0.0.1");
    form.Session().Smtp().SetPort(silent.serverPort());
    form.Session().Smtp().TimerSMTP.setInterval(1500);
    form.Session().Smtp().TimerSMTP2.setInterval(1500);
    form.Session().Queue().Append(
        {"ops@example.org", "Velmora Alert", "x [ 10.0.0.1 ]  DOWN on: now"});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    TStallMeter meter;

    QSignalSpy finished(&form.Session().Delivery(), &TMailDelivery::DeliveryFinished);
    form.Session().Delivery().EMAILTimerTimer();
    ASSERT_TRUE(form.Session().Delivery().DeliveryRunning());
    QTest::qWait(200);
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.Session().ClosePending());
    form.TimerTimeTimer(); // still delivering: the retry is refused too
    EXPECT_TRUE(form.isVisible());

    ASSERT_TRUE(finished.wait(10000));
    meter.Stop();
    EXPECT_EQ(finished.at(0).at(0).toBool(), false);
    EXPECT_EQ(form.Session().Queue().Count(), 1u) << "an undelivered entry stays queued";
    EXPECT_LT(meter.WorstGap(), 50) << "the GUI thread stalled, " << meter.WorstAt() << " ms in";
    form.TimerTimeTimer();
    EXPECT_FALSE(form.isVisible());
}

} // namespace
