// The headless program as a service runs it, in the client namespace of
// the ICMP test hosts, with Debian's webhook receiver on one of them. A
// push queued while the receiver is away survives a kill -9 and goes out
// once after the restart; the token shows nowhere but in velmora.ini.
#include "IcmpHosts.h"
#include "TestFiles.h"
#include "WebhookReceiver.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QByteArray kToken = "hl-70ken-c0ffee";

struct PushHeadlessTest : ::testing::Test {
    std::unique_ptr<TIcmpHosts> hosts;
    QTemporaryDir dir;
    QString out;      // what the running program wrote so far
    QString everyOut; // what all runs wrote, both channels

    void SetUp() override {
        if (const std::string why = TIcmpHosts::Unavailable(); !why.empty())
            GTEST_SKIP() << why;
        if (!TWebhookReceiver::Unavailable().isEmpty())
            GTEST_SKIP() << TWebhookReceiver::Unavailable().toStdString();
        hosts = std::make_unique<TIcmpHosts>("vm-ph");
        ASSERT_TRUE(hosts->problem().empty()) << hosts->problem();
        ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, dir.filePath("velmora-headless")));
        WriteTestFile(dir.filePath("hosts.dat"), "10.231.1.2\tanswers\r\n10.231.3.2\tflaky\r\n");
        WriteTestFile(dir.filePath("velmora.ini"),
                      "[VELMORA Settings]\r\nDATFile=" + dir.filePath("hosts.dat").toUtf8() +
                          "\r\nVelmoraPingTimeOut=1\r\nVelmoraPacketsPerSite=1\r\n"
                          "VelmoraInterPacketDelay=100\r\nVelmoraInterSiteDelay=1\r\n"
                          "saveStateOnExit=1\r\nSitesCritical=2\r\n"
                          "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n"
                          "[Push Settings]\r\nWebhookURL=http://10.231.1.2:9000/hooks/velmora\r\n"
                          "WebhookFormat=JSON\r\nWebhookToken=" +
                          kToken + "\r\n");
    }

    void start(QProcess& p) {
        out.clear();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        p.setProcessEnvironment(env);
        p.start("ip", {"netns", "exec", QString::fromStdString(hosts->Namespace("c")),
                       dir.filePath("velmora-headless")});
        ASSERT_TRUE(p.waitForStarted(5000));
    }

    bool waitForLine(QProcess& p, const QString& prefix, int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            p.waitForReadyRead(200);
            const QString more = QString::fromUtf8(p.readAllStandardOutput());
            out += more;
            everyOut += more + QString::fromUtf8(p.readAllStandardError());
            for (const QString& line : out.split('\n'))
                if (line.startsWith(prefix))
                    return true;
            if (p.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }
};

TEST_F(PushHeadlessTest, APushQueuedBeforeAKillGoesOutOnceAfterTheRestart) {
    QProcess first;
    start(first); // no receiver yet
    ASSERT_TRUE(waitForLine(first, "Up\t10.231.3.2\t", 20000)) << out.toStdString();
    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 down"));
    ASSERT_TRUE(waitForLine(first, "DOWN\t10.231.3.2\t", 20000)) << out.toStdString();
    ASSERT_TRUE(
        waitForLine(first, "EMAIL Log: Push to 10.231.1.2 failed: connection refused", 10000))
        << out.toStdString();
    ::kill(pid_t(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(5000));
    everyOut += QString::fromUtf8(first.readAll());
    const QByteArray ini = ReadTestFile(dir.filePath("velmora.ini"));
    EXPECT_TRUE(ini.contains("[SaveOnExit_PushQueue]\r\nrow-0=DOWN\t10.231.3.2\tflaky\t"))
        << ini.toStdString();
    EXPECT_FALSE(ini.contains("[SaveOnExit_Grid]")) << "no clean close happened";

    // The host is back: its Up is no announced change, so the one push the
    // receiver sees is the one saved.
    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 up"));
    TWebhookReceiver receiver(QString::fromStdString(hosts->Namespace("a")), "10.231.1.2", 9000,
                              QString::fromLatin1(kToken));
    ASSERT_TRUE(receiver.Problem().isEmpty()) << receiver.Problem().toStdString();
    QProcess second;
    start(second);
    ASSERT_TRUE(waitForLine(second, "EMAIL Log: Push sent to: 10.231.1.2", 20000))
        << out.toStdString();
    ASSERT_TRUE(waitForLine(second, "Up\t10.231.3.2\t", 20000)) << out.toStdString();
    QTest::qWait(3000);
    const auto got = receiver.Received();
    ASSERT_EQ(got.size(), 1);
    const QJsonObject json = QJsonDocument::fromJson(got[0].body).object();
    EXPECT_EQ(json["address"].toString(), "10.231.3.2");
    EXPECT_EQ(json["state"].toString(), "DOWN");
    EXPECT_TRUE(json["text"].toString().startsWith("flaky [ 10.231.3.2 ]  DOWN on: "));
    EXPECT_EQ(got[0].authorization, "Bearer " + kToken);

    ::kill(pid_t(second.processId()), SIGTERM);
    ASSERT_TRUE(second.waitForFinished(10000));
    everyOut += QString::fromUtf8(second.readAll());
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(
        ReadTestFile(dir.filePath("velmora.ini")).contains("[SaveOnExit_PushQueue]\r\nrow-"))
        << "the delivered push is no longer saved";

    // The token: nowhere in what the program wrote, in no file but the
    // settings file, and that one the owner's alone.
    EXPECT_TRUE(everyOut.contains("Push sent to:"));
    EXPECT_FALSE(everyOut.contains(QString::fromLatin1(kToken))) << everyOut.toStdString();
    QDirIterator files(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString f = files.next();
        if (f == dir.filePath("velmora.ini") || f == dir.filePath("velmora-headless"))
            continue;
        EXPECT_FALSE(ReadTestFile(f).contains(kToken)) << f.toStdString();
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.filePath("velmora.ini")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

} // namespace
