// velmora-headless's sockets as the system shows them: none without the
// key, the one address the key names, and one line on standard error when
// that address is taken, with monitoring going on.
#include "HeadlessRun.h"
#include "MetricsProbe.h"
#include "TestFiles.h"

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct MetricsHeadlessTest : ::testing::Test {
    QTemporaryDir dir;
    THeadlessRun run;

    // The program on the loopback device, with `listen` as MetricsListen
    // (no key when null).
    void start(const char* listen) {
        ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, dir.filePath("velmora-headless")));
        WriteTestFile(dir.filePath("hosts.dat"), "127.0.0.1\tloopback\r\n");
        WriteTestFile(dir.filePath("velmora.ini"),
                      "[VELMORA Settings]\r\nDATFile=" + dir.filePath("hosts.dat").toUtf8() +
                          "\r\nVelmoraPingTimeOut=1\r\nVelmoraPacketsPerSite=1\r\n"
                          "VelmoraInterPacketDelay=100\r\nVelmoraInterSiteDelay=1\r\n" +
                          (listen ? "MetricsListen=" + QByteArray(listen) + "\r\n" : QByteArray()) +
                          "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
        run.Start(dir.filePath("velmora-headless"));
    }
};

TEST_F(MetricsHeadlessTest, WithoutTheKeyNoPortIsOpen) {
    ASSERT_NO_FATAL_FAILURE(start(nullptr));
    ASSERT_TRUE(run.WaitForLine("Up\t127.0.0.1\t", 20000)) << run.Out().toStdString();
    EXPECT_EQ(ListeningAddresses(run.Pid()), QStringList());
    EXPECT_EQ(run.Err(), QString());
}

TEST_F(MetricsHeadlessTest, ALoopbackAddressIsTheOnlyOneListenedOn) {
    const quint16 port = FreePort();
    const QByteArray listen = "127.0.0.1:" + QByteArray::number(port);
    ASSERT_NO_FATAL_FAILURE(start(listen.constData()));
    ASSERT_TRUE(run.WaitForLine("Up\t127.0.0.1\t", 20000)) << run.Out().toStdString();
    EXPECT_EQ(ListeningAddresses(run.Pid()), QStringList{QString::fromLatin1(listen)});
    const THttpReply r = HttpGet("127.0.0.1", port, "/metrics");
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.body.contains("velmora_device_up{address=\"127.0.0.1\",location=\"loopback\"} 1"))
        << r.body.toStdString();
}

TEST_F(MetricsHeadlessTest, ABarePortMeansLoopback) {
    const quint16 port = FreePort();
    const QByteArray listen = QByteArray::number(port);
    ASSERT_NO_FATAL_FAILURE(start(listen.constData()));
    ASSERT_TRUE(run.WaitForLine("Up\t127.0.0.1\t", 20000)) << run.Out().toStdString();
    EXPECT_EQ(ListeningAddresses(run.Pid()), QStringList{QStringLiteral("127.0.0.1:%1").arg(port)});
}

TEST_F(MetricsHeadlessTest, ATakenPortIsOneLineOnStandardErrorAndMonitoringGoesOn) {
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    const QByteArray listen = "127.0.0.1:" + QByteArray::number(taken.serverPort());
    ASSERT_NO_FATAL_FAILURE(start(listen.constData()));
    // The bind fails at start-up; the first probe comes an inter-site delay
    // later and still finds the device.
    ASSERT_TRUE(run.WaitForLine("Up\t127.0.0.1\t", 20000)) << run.Out().toStdString();
    EXPECT_EQ(run.Err().toStdString(),
              "velmora-headless: Metrics Address " + listen.toStdString() +
                  ": cannot listen there (Address already in use); no metrics "
                  "are served, monitoring goes on\n");
    EXPECT_EQ(ListeningAddresses(run.Pid()), QStringList());
}

} // namespace
