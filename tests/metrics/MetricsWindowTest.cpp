// The window's side: "Metrics Address:" on Monitor Setup, Apply starting the
// listener without a restart, a taken port told after the step, and the GUI
// thread kept free while Prometheus-rate scrapes run against many devices.
#include "MetricsProbe.h"
#include "StallMeter.h"
#include "TestFiles.h"
#include "TestSupport.h"
#include "WaitFor.h"
#include "WindowTest.h"
#include "devices/DeviceGrid.h"
#include "metrics/Metrics.h"
#include "monitor/MonitorSetupPage.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <thread>

namespace {

using MetricsWindowTest = TRunningWindowTest;

TEST_F(MetricsWindowTest, TheFieldIsLabelledShowsTheKeyAndApplyStartsTheListener) {
    ASSERT_NO_FATAL_FAILURE(open("10.0.0.1\talpha\r\n", "MetricsListen=\r\n"));
    QLineEdit* edit = Named<QLineEdit>(*form, "EditMetricsListen");
    ASSERT_TRUE(edit);
    const QLabel* label = nullptr;
    for (const QLabel* l : page()->findChildren<QLabel*>())
        if (l->text() == QLatin1String("Metrics Address:"))
            label = l;
    ASSERT_TRUE(label) << "no \"Metrics Address:\" label";
    EXPECT_EQ(label->buddy(), edit);
    EXPECT_EQ(edit->text(), QString());

    const quint16 port = FreePort();
    edit->setFocus();
    QTest::keyClicks(edit, QString::number(port));
    QTest::mouseClick(page()->ButtonApplySettings, Qt::LeftButton);
    ASSERT_TRUE(
        WaitFor([&] { return HttpGet("127.0.0.1", port, "/metrics", 1000).status == 200; }, 5000))
        << "no listener after Apply";
    EXPECT_TRUE(ReadTestFile(ini()).contains("MetricsListen=" + QByteArray::number(port) + "\r\n"));
    EXPECT_TRUE(prompts.messages.empty());

    // The next start shows what Apply wrote.
    reopen();
    EXPECT_EQ(Named<QLineEdit>(*form, "EditMetricsListen")->text(), QString::number(port));
}

TEST_F(MetricsWindowTest, ATakenPortIsAMessageAfterTheStepAndMonitoringGoesOn) {
    ASSERT_NO_FATAL_FAILURE(open("10.0.0.1\talpha\r\n"));
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    page()->EditMetricsListen->setText(QStringLiteral("127.0.0.1:%1").arg(taken.serverPort()));
    prompts.messages.clear();
    page()->ButtonApplySettings->click();
    EXPECT_TRUE(prompts.messages.empty()) << "never inside the step";
    ASSERT_TRUE(WaitFor([&] { return !prompts.messages.empty(); }, 5000));
    QTest::qWait(200);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("Metrics Address 127.0.0.1:%1: cannot listen there (Address already "
                             "in use); no metrics are served, monitoring goes on")
                  .arg(taken.serverPort()));
    EXPECT_EQ(prompts.messages[0].icon, TPrompts::Icon::Warning);
    EXPECT_TRUE(
        WaitFor([&] { return form->Session().Grid().Cell(1, Col::Status) == "Up"; }, 10000));
}

TEST_F(MetricsWindowTest, UnderTwentyScrapesASecondTheWindowAnswers) {
    QByteArray devices;
    for (int i = 0; i < 1000; ++i)
        devices += "10.1." + QByteArray::number(i / 250) + "." + QByteArray::number(i % 250 + 1) +
                   "\tdevice " + QByteArray::number(i) + "\r\n";
    const quint16 port = FreePort();
    ASSERT_NO_FATAL_FAILURE(open(devices, "VelmoraInterSiteDelay=1\r\nVelmoraInterPacketDelay="
                                          "100\r\nMetricsListen=" +
                                              QByteArray::number(port) + "\r\n"));
    form->show();
    ASSERT_TRUE(
        WaitFor([&] { return HttpGet("127.0.0.1", port, "/metrics", 1000).status == 200; }, 5000));

    std::atomic<bool> stop{false};
    std::atomic<int> scrapes{0}, failures{0};
    std::string firstFailure;
    TStallMeter meter;
    std::thread scraper([&] {
        auto next = std::chrono::steady_clock::now();
        while (!stop) {
            const THttpReply r = HttpGet("127.0.0.1", port, "/metrics", 5000);
            if (r.status == 200 && r.body.contains("device 999"))
                ++scrapes;
            else if (failures++ == 0)
                firstFailure = std::to_string(r.status) + " after " + std::to_string(r.ms) +
                               " ms, " + std::to_string(r.body.size()) + " bytes";
            next += std::chrono::milliseconds(50);
            std::this_thread::sleep_until(next);
        }
    });
    QTest::qWait(10000);
    meter.Stop();
    stop = true;
    scraper.join();
    EXPECT_LT(meter.WorstGap(), 50) << "at " << meter.WorstAt() << " ms";
    RecordProperty("worst_gap_ms", int(meter.WorstGap()));
    std::printf("worst gap %lld ms, %d scrapes\n", meter.WorstGap(), scrapes.load());
    EXPECT_GE(scrapes.load(), 180) << "20 a second for 10 s";
    EXPECT_EQ(failures.load(), 0) << firstFailure;
    // The cycle ran meanwhile.
    EXPECT_FALSE(form->Session().Grid().Cell(1, Col::PktsSent).isEmpty());
}

} // namespace
