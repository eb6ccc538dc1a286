// The families as a scraper reads them from the session's own listener,
// with the cycle moved step by step and echoes scripted per address.
#include "MetricsProbe.h"
#include "TestFiles.h"
#include "devices/DeviceGrid.h"
#include "mail/MailDelivery.h"
#include "metrics/Metrics.h"
#include "metrics/MetricsSettings.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "platform/SettingsFile.h"
#include "session/Session.h"

#include <QDateTime>
#include <QMutex>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

namespace {

// What each address answers, changed by the test between steps; an
// address not named never answers.
struct TScriptedEchoes {
    QMutex lock;
    std::map<QString, quint32> rtt;   // answered, with this round trip
    std::map<QString, int> failFirst; // echoes that fail before answers start

    TMonitorCycle::EchoFunction Echo() {
        return [this](const QString& address, int) {
            QMutexLocker l(&lock);
            TEchoResult r;
            if (auto f = failFirst.find(address); f != failFirst.end() && f->second > 0) {
                --f->second;
                return r;
            }
            if (auto it = rtt.find(address); it != rtt.end()) {
                r.replied = true;
                r.roundTripTime = it->second;
            }
            return r;
        };
    }
    void Set(const QString& address, std::optional<quint32> answer) {
        QMutexLocker l(&lock);
        if (answer)
            rtt[address] = *answer;
        else
            rtt.erase(address);
    }
};

struct MetricsSessionTest : ::testing::Test {
    QTemporaryDir dir;
    TDefaultPrompts prompts;
    TScriptedEchoes echoes;
    std::unique_ptr<TSession> s;
    quint16 port = FreePort();

    QString ini() const { return dir.filePath("velmora.ini"); }

    // A session on `devices`, served at the test's port unless `listen`
    // says otherwise; its timers stopped so that the test moves the cycle.
    void start(const QByteArray& devices, const QByteArray& extraSettings = {},
               std::optional<QByteArray> listen = std::nullopt) {
        WriteTestFile(dir.filePath("net.dat"), devices);
        const QByteArray key = listen ? *listen : "127.0.0.1:" + QByteArray::number(port);
        WriteTestFile(ini(), "[VELMORA Settings]\r\nDATFile=" + dir.filePath("net.dat").toUtf8() +
                                 "\r\nVelmoraPacketsPerSite=1\r\n" +
                                 (key.isEmpty() ? QByteArray() : "MetricsListen=" + key + "\r\n") +
                                 extraSettings + "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
        prompts.log = [](const QString&) {};
        TSession::Options o;
        o.settingsPath = ini();
        o.prompts = &prompts;
        o.echo = echoes.Echo();
        s = std::make_unique<TSession>(o);
        QSignalSpy listening(&s->Metrics(), &TMetrics::ListenerChanged);
        s->Start();
        s->Cycle().StopTimers();
        if (!key.isEmpty()) {
            ASSERT_TRUE(listening.count() > 0 || listening.wait(5000)) << "no listener";
        }
    }

    // One device step and its packet, as the timers would run them.
    void probeNext() {
        TMonitorCycle& c = s->Cycle();
        QSignalSpy done(&c, &TMonitorCycle::packetDone);
        c.TimerInterSiteTimer();
        c.StopTimers();
        c.TimerInterPacketTimer();
        ASSERT_TRUE(done.wait(5000));
        c.StopTimers();
    }

    QByteArray scrape() {
        const THttpReply r = HttpGet("127.0.0.1", port, "/metrics");
        EXPECT_EQ(r.status, 200) << r.head.toStdString();
        return r.body;
    }
};

TEST(ListenAddressTest, WhatTheSettingMeans) {
    struct Case {
        const char* text;
        const char* listen; // nullptr: refused
    } cases[] = {
        {"9100", "127.0.0.1:9100"},
        {" 9100 ", "127.0.0.1:9100"},
        {"127.0.0.1:9100", "127.0.0.1:9100"},
        {"0.0.0.0:9100", "0.0.0.0:9100"},
        {"10.1.2.3:1", "10.1.2.3:1"},
        {"[::1]:9100", "[::1]:9100"},
        {"::1:9100", nullptr}, // a port after an unbracketed IPv6 address is ambiguous
        {"0", nullptr},
        {"65536", nullptr},
        {"+9100", nullptr},
        {"9100x", nullptr},
        {"localhost:9100", nullptr}, // civetweb binds addresses, not names
        {"127.1:9100", nullptr},
        {"127.0.0.1:", nullptr},
        {":9100", nullptr},
        {"[127.0.0.1]:9100", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        const auto a = ParseListenAddress(QString::fromLatin1(c.text));
        EXPECT_EQ(a ? a->Text().toStdString() : "refused", c.listen ? c.listen : "refused")
            << c.text;
    }
}

TEST_F(MetricsSessionTest, CountersAgreeWithTheGrid) {
    ASSERT_NO_FATAL_FAILURE(
        start("10.0.0.1\talpha\r\n10.0.0.2\tbeta\r\n10.0.0.3\tgamma\r\n", "", std::nullopt));
    echoes.Set("10.0.0.1", 3);   // 3 ms
    echoes.Set("10.0.0.2", 700); // answers, after failing now and then
    echoes.failFirst["10.0.0.2"] = 3;
    for (int i = 0; i < 9; ++i)
        ASSERT_NO_FATAL_FAILURE(probeNext());
    const QByteArray text = scrape();

    const TDeviceGrid& g = s->Grid();
    for (int row = 1; row <= 3; ++row) {
        const QByteArray a = g.Cell(row, Col::Address).toUtf8();
        const QByteArray l = g.Cell(row, Col::Location).toUtf8();
        SCOPED_TRACE(a.toStdString());
        const auto sent = Sample(text, DeviceSeries("velmora_device_echo_requests_total", a, l));
        const auto recd = Sample(text, DeviceSeries("velmora_device_echo_replies_total", a, l));
        const auto count = Sample(text, DeviceSeries("velmora_device_rtt_seconds_count", a, l));
        ASSERT_TRUE(sent && recd && count) << text.toStdString();
        EXPECT_EQ(*sent, g.Cell(row, Col::PktsSent).toDouble());
        EXPECT_EQ(*recd, g.Cell(row, Col::PktsRecd).toInt()); // empty when none: 0
        EXPECT_EQ(*count, *recd);
    }
    // Retries count as echoes: beta failed 3 times in 3 passes (one retry
    // answered), gamma sent 2 a pass.
    EXPECT_EQ(g.Cell(2, Col::PktsSent), "5");
    EXPECT_EQ(g.Cell(3, Col::PktsSent), "6");
    // 3 ms lies in the 5 ms bucket, not the 2.5 ms one; 700 ms in 1 s.
    EXPECT_EQ(Sample(text, DeviceSeries("velmora_device_rtt_seconds_bucket", "10.0.0.1", "alpha",
                                        "le=\"0.0025\"")),
              0);
    EXPECT_EQ(Sample(text, DeviceSeries("velmora_device_rtt_seconds_bucket", "10.0.0.1", "alpha",
                                        "le=\"0.005\"")),
              3);
    EXPECT_EQ(Sample(text, DeviceSeries("velmora_device_rtt_seconds_bucket", "10.0.0.2", "beta",
                                        "le=\"0.5\"")),
              0);
    EXPECT_EQ(Sample(text, DeviceSeries("velmora_device_rtt_seconds_bucket", "10.0.0.2", "beta",
                                        "le=\"1\"")),
              2);
    EXPECT_DOUBLE_EQ(
        *Sample(text, DeviceSeries("velmora_device_rtt_seconds_sum", "10.0.0.1", "alpha")), 0.009);
    EXPECT_EQ(Sample(text, "velmora_devices"), 3);
    // Nine device steps over three rows: two wraps.
    EXPECT_EQ(s->Cycle().LoopCount(), 2);
    EXPECT_EQ(Sample(text, "velmora_cycle_passes_total"), 2);
    EXPECT_EQ(Sample(text, "velmora_build_info{version=\"" VELMORA_VERSION "\"}"), 1);
}

TEST_F(MetricsSessionTest, StateSeriesFollowTheChanges) {
    ASSERT_NO_FATAL_FAILURE(start("10.0.0.1\talpha\r\n"));
    const auto up = DeviceSeries("velmora_device_up", "10.0.0.1", "alpha");
    const auto since =
        DeviceSeries("velmora_device_last_change_timestamp_seconds", "10.0.0.1", "alpha");
    const auto toUp =
        DeviceSeries("velmora_device_transitions_total", "10.0.0.1", "alpha", "state=\"Up\"");
    const auto toDown =
        DeviceSeries("velmora_device_transitions_total", "10.0.0.1", "alpha", "state=\"DOWN\"");
    QByteArray text = scrape();
    EXPECT_FALSE(Sample(text, up)) << "no state before the first change";
    EXPECT_FALSE(Sample(text, since));
    EXPECT_EQ(Sample(text, toUp), 0);
    EXPECT_EQ(Sample(text, toDown), 0);

    echoes.Set("10.0.0.1", 1);
    const double before = double(QDateTime::currentMSecsSinceEpoch()) / 1000;
    ASSERT_NO_FATAL_FAILURE(probeNext());
    text = scrape();
    EXPECT_EQ(Sample(text, up), 1);
    EXPECT_EQ(Sample(text, toUp), 1);
    ASSERT_TRUE(Sample(text, since));
    EXPECT_GE(*Sample(text, since), before - 0.001);
    EXPECT_LE(*Sample(text, since), double(QDateTime::currentMSecsSinceEpoch()) / 1000);

    ASSERT_NO_FATAL_FAILURE(probeNext()); // still Up: no change
    EXPECT_EQ(Sample(scrape(), toUp), 1);

    echoes.Set("10.0.0.1", std::nullopt);
    ASSERT_NO_FATAL_FAILURE(probeNext());
    text = scrape();
    EXPECT_EQ(s->Grid().Cell(1, Col::Status), "DOWN");
    EXPECT_EQ(Sample(text, up), 0);
    EXPECT_EQ(Sample(text, toDown), 1);
    EXPECT_EQ(Sample(text, toUp), 1);
}

TEST_F(MetricsSessionTest, ADeviceThatLeavesLosesItsSeriesAndComesBackNew) {
    ASSERT_NO_FATAL_FAILURE(start("10.0.0.1\talpha\r\n10.0.0.2\tbeta\r\n"));
    echoes.Set("10.0.0.1", 1);
    ASSERT_NO_FATAL_FAILURE(probeNext());
    const auto alpha = DeviceSeries("velmora_device_echo_requests_total", "10.0.0.1", "alpha");
    ASSERT_EQ(Sample(scrape(), alpha), 1);

    WriteTestFile(dir.filePath("other.dat"), "10.0.0.9\tother\r\n");
    s->StartNewMonitor(dir.filePath("other.dat"));
    s->Cycle().StopTimers();
    QByteArray text = scrape();
    EXPECT_FALSE(text.contains("10.0.0.1")) << text.toStdString();
    EXPECT_EQ(Sample(text, DeviceSeries("velmora_device_echo_requests_total", "10.0.0.9", "other")),
              0);
    EXPECT_EQ(Sample(text, "velmora_devices"), 1);

    s->StartNewMonitor(dir.filePath("net.dat"));
    s->Cycle().StopTimers();
    text = scrape();
    EXPECT_EQ(Sample(text, alpha), 0) << "a device that comes back starts new series";
    EXPECT_FALSE(Sample(text, DeviceSeries("velmora_device_up", "10.0.0.1", "alpha")));
    EXPECT_FALSE(text.contains("10.0.0.9"));
}

TEST_F(MetricsSessionTest, ServedTextIsValidAndLabelsAreEscaped) {
    ASSERT_NO_FATAL_FAILURE(
        start("10.0.0.1\tHall \"B\" \\ Z\xc3\xbcrich\r\n10.0.0.1\tHall \"B\" \\ Z\xc3\xbcrich\r\n"
              "10.0.0.2\t\r\n"));
    echoes.Set("10.0.0.1", 12);
    ASSERT_NO_FATAL_FAILURE(probeNext());
    ASSERT_NO_FATAL_FAILURE(probeNext());
    const QByteArray text = scrape();
    EXPECT_EQ(Sample(text, DeviceSeries("velmora_device_up", "10.0.0.1",
                                        "Hall \\\"B\\\" \\\\ Z\xc3\xbcrich")),
              1)
        << text.toStdString();
    // Two rows of one device: one set of series, or the text is invalid.
    EXPECT_EQ(text.count("velmora_device_echo_requests_total{address=\"10.0.0.1\""), 1);

    ExpectPromtoolAccepts(text);
}

TEST_F(MetricsSessionTest, ApplyStartsMovesAndStopsTheListener) {
    ASSERT_NO_FATAL_FAILURE(start("10.0.0.1\talpha\r\n", "", QByteArray()));
    EXPECT_FALSE(HttpGet("127.0.0.1", port, "/metrics", 1000).answered) << "off without the key";
    EXPECT_FALSE(ReadTestFile(ini()).contains("MetricsListen"));

    const quint16 second = FreePort();
    QSignalSpy changed(&s->Metrics(), &TMetrics::ListenerChanged);
    auto apply = [&](const QString& listen) {
        changed.clear();
        s->SetMetricsSettings({listen});
        s->ButtonApplySettingsClick();
        s->Cycle().StopTimers();
        ASSERT_TRUE(changed.wait(5000)) << listen.toStdString();
    };
    ASSERT_NO_FATAL_FAILURE(apply(QString::number(port)));
    EXPECT_EQ(changed.at(0).at(0).toString(), QStringLiteral("127.0.0.1:%1").arg(port));
    EXPECT_EQ(HttpGet("127.0.0.1", port, "/metrics").status, 200);
    EXPECT_EQ(TIniFile(ini()).ReadString(kMainSection, "MetricsListen", "?"),
              QString::number(port));

    ASSERT_NO_FATAL_FAILURE(apply(QStringLiteral("127.0.0.1:%1").arg(second)));
    EXPECT_EQ(HttpGet("127.0.0.1", second, "/metrics").status, 200);
    EXPECT_FALSE(HttpGet("127.0.0.1", port, "/metrics", 1000).answered) << "the old one is gone";

    ASSERT_NO_FATAL_FAILURE(apply(QString()));
    EXPECT_EQ(changed.at(0).at(0).toString(), QString());
    EXPECT_FALSE(HttpGet("127.0.0.1", second, "/metrics", 1000).answered);
    EXPECT_EQ(TIniFile(ini()).ReadString(kMainSection, "MetricsListen", "?"), QString());
}

TEST_F(MetricsSessionTest, APortInUseIsOneLineAndMonitoringGoesOn) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    port = taken.serverPort();
    WriteTestFile(dir.filePath("net.dat"), "10.0.0.1\talpha\r\n");
    WriteTestFile(ini(), "[VELMORA Settings]\r\nDATFile=" + dir.filePath("net.dat").toUtf8() +
                             "\r\nMetricsListen=" + QByteArray::number(port) +
                             "\r\n[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
    TSession::Options o;
    o.settingsPath = ini();
    o.prompts = &prompts;
    o.echo = echoes.Echo();
    s = std::make_unique<TSession>(o);
    QSignalSpy failed(&s->Metrics(), &TMetrics::ListenerFailed);
    s->Start();
    s->Cycle().StopTimers();
    ASSERT_TRUE(failed.wait(5000));
    QTest::qWait(200);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString(),
              QStringLiteral("Metrics Address 127.0.0.1:%1: cannot listen there (Address already "
                             "in use); no metrics are served, monitoring goes on")
                  .arg(port));
    echoes.Set("10.0.0.1", 1);
    ASSERT_NO_FATAL_FAILURE(probeNext());
    EXPECT_EQ(s->Grid().Cell(1, Col::Status), "Up");
}

TEST_F(MetricsSessionTest, AlertFamiliesFollowTheQueue) {
    // Every change of every device is mailed, to two addresses, through a
    // mail server that refuses the connection.
    ASSERT_NO_FATAL_FAILURE(start("10.0.0.1\talpha\r\n",
                                  "SitesCritical=2\r\nYourEMAILAddress=v@velmora.test\r\n"
                                  "MXAddress=127.0.0.1\r\nUseMXAddress=1\r\n"
                                  "[Notify Addresses]\r\nAddress-0=a@velmora.test\r\n"
                                  "Address-1=b@velmora.test\r\n"));
    ASSERT_NO_FATAL_FAILURE(probeNext()); // no answer: DOWN, mailed
    QByteArray text = scrape();
    EXPECT_EQ(Sample(text, "velmora_alerts_queued"), 2) << text.toStdString();
    EXPECT_EQ(Sample(text, "velmora_alerts_delivered_total"), 0);
    EXPECT_EQ(Sample(text, "velmora_alert_attempts_failed_total"), 0);
    EXPECT_EQ(Sample(text, "velmora_device_transitions_total{address=\"10.0.0.1\","
                           "location=\"alpha\",state=\"DOWN\"}"),
              1);

    QSignalSpy finished(&s->Delivery(), &TMailDelivery::DeliveryFinished);
    s->Delivery().EMAILTimerTimer();
    ASSERT_TRUE(finished.count() > 0 || finished.wait(30000));
    ASSERT_EQ(finished.at(0).at(0).toBool(), false);
    text = scrape();
    EXPECT_EQ(Sample(text, "velmora_alert_attempts_failed_total"), 1);
    EXPECT_EQ(Sample(text, "velmora_alerts_queued"), 2) << "a failed entry stays queued";
}

} // namespace
