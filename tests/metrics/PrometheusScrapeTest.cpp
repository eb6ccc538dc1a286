// A real Prometheus scrapes velmora-headless: both run in the client
// namespace of the test hosts, the program serving on that namespace's
// loopback, Prometheus scraping it every second. What the query API
// returns is what an operator's dashboards and alerts would see.
#include "HeadlessRun.h"
#include "IcmpHosts.h"
#include "MetricsProbe.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

// Both ports are in the test's own namespace, so nothing else holds them.
constexpr quint16 kMetricsPort = 9100;
constexpr quint16 kPrometheusPort = 9090;

struct PrometheusScrapeTest : ::testing::Test {
    std::unique_ptr<TIcmpHosts> hosts;
    QTemporaryDir dir;
    THeadlessRun velmora;
    THeadlessRun prometheus;

    void SetUp() override {
        if (const std::string why = TIcmpHosts::Unavailable(); !why.empty())
            GTEST_SKIP() << why;
        hosts = std::make_unique<TIcmpHosts>("vm-pm");
        ASSERT_TRUE(hosts->problem().empty()) << hosts->problem();
    }

    // Both programs in the client namespace, each with its channels merged.
    void startIn(THeadlessRun& run, const QString& program, const QStringList& args) {
        run.Start(program, args, QString::fromStdString(hosts->Namespace("c")),
                  QProcess::MergedChannels);
    }

    // The instant vector of `query`: labels of each series and its value.
    QJsonArray query(const QString& q) {
        const QByteArray path = "/api/v1/query?query=" + QUrl::toPercentEncoding(q);
        THttpReply r;
        EXPECT_TRUE(
            hosts->OnThreadIn("c", [&] { r = HttpGet("127.0.0.1", kPrometheusPort, path, 5000); }));
        if (r.status != 200)
            return {};
        return QJsonDocument::fromJson(r.body).object()["data"].toObject()["result"].toArray();
    }
    // The value of a query with one series, or "" while there is none.
    QString single(const QString& q) {
        const QJsonArray a = query(q);
        return a.size() == 1 ? a[0].toObject()["value"].toArray()[1].toString() : QString();
    }
    bool waitFor(const QString& q, const QString& value, int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (single(q) == value)
                return true;
            QTest::qWait(500);
        }
        return false;
    }
};

TEST_F(PrometheusScrapeTest, UpThenDownAndTheTransitionIsCounted) {
    ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, dir.filePath("velmora-headless")));
    WriteTestFile(dir.filePath("hosts.dat"), "10.231.1.2\tanswers\r\n10.231.3.2\tflaky\r\n");
    WriteTestFile(dir.filePath("velmora.ini"),
                  "[VELMORA Settings]\r\nDATFile=" + dir.filePath("hosts.dat").toUtf8() +
                      "\r\nVelmoraPingTimeOut=1\r\nVelmoraPacketsPerSite=1\r\n"
                      "VelmoraInterPacketDelay=100\r\nVelmoraInterSiteDelay=1\r\n"
                      "MetricsListen=127.0.0.1:" +
                      QByteArray::number(kMetricsPort) +
                      "\r\n[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
    WriteTestFile(dir.filePath("prometheus.yml"),
                  "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                  "scrape_configs:\n  - job_name: velmora\n    static_configs:\n"
                  "      - targets: ['127.0.0.1:" +
                      QByteArray::number(kMetricsPort) +
                      "']\n        labels:\n"
                      "          site: test\n");
    ASSERT_NO_FATAL_FAILURE(startIn(velmora, dir.filePath("velmora-headless"), {}));
    ASSERT_NO_FATAL_FAILURE(
        startIn(prometheus, "prometheus",
                {"--config.file=" + dir.filePath("prometheus.yml"),
                 "--storage.tsdb.path=" + dir.filePath("data"),
                 QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(kPrometheusPort)}));

    const QString flaky = QStringLiteral("{address=\"10.231.3.2\",location=\"flaky\"}");
    ASSERT_TRUE(waitFor("velmora_device_up" + flaky, "1", 60000))
        << prometheus.Out().toStdString() << velmora.Out().toStdString();
    EXPECT_EQ(single("up{job=\"velmora\",site=\"test\"}"), "1");
    EXPECT_EQ(single("velmora_device_up{address=\"10.231.1.2\"}"), "1");
    EXPECT_EQ(single("velmora_device_transitions_total{address=\"10.231.3.2\",state=\"DOWN\"}"),
              "0");

    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 down"));
    ASSERT_TRUE(waitFor("velmora_device_up" + flaky, "0", 60000)) << velmora.Out().toStdString();
    EXPECT_EQ(single("velmora_device_transitions_total{address=\"10.231.3.2\",state=\"DOWN\"}"),
              "1");
    EXPECT_EQ(single("velmora_device_up{address=\"10.231.1.2\"}"), "1");
    // The DOWN line of the same change is on standard output.
    EXPECT_TRUE(velmora.Out().contains("DOWN\t10.231.3.2\t"));
}

} // namespace
