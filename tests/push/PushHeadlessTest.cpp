// The headless program as a service runs it, in the client namespace of
// the ICMP test hosts, with Debian's webhook receiver on one of them. A
// push queued while the receiver is away survives a kill -9 and goes out
// once after the restart; the token shows nowhere but in velmora.ini.
#include "HeadlessRun.h"
#include "IcmpHosts.h"
#include "PushTestSupport.h"
#include "TestFiles.h"
#include "WebhookReceiver.h"

#include <QDir>
#include <QDirIterator>
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
                      JsonPushSettings(dir.filePath("hosts.dat"),
                                       "http://10.231.1.2:9000/hooks/velmora", kToken,
                                       "VelmoraPingTimeOut=1\r\nsaveStateOnExit=1\r\n"));
    }

    void start(THeadlessRun& run) {
        run.Start(dir.filePath("velmora-headless"), {},
                  QString::fromStdString(hosts->Namespace("c")));
    }
};

TEST_F(PushHeadlessTest, APushQueuedBeforeAKillGoesOutOnceAfterTheRestart) {
    THeadlessRun first;
    start(first); // no receiver yet
    ASSERT_TRUE(first.WaitForLine("Up\t10.231.3.2\t", 20000)) << first.Out().toStdString();
    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 down"));
    ASSERT_TRUE(first.WaitForLine("DOWN\t10.231.3.2\t", 20000)) << first.Out().toStdString();
    ASSERT_TRUE(
        first.WaitForLine("EMAIL Log: Push to 10.231.1.2 failed: connection refused", 10000))
        << first.Out().toStdString();
    ::kill(pid_t(first.Pid()), SIGKILL);
    ASSERT_TRUE(first.Process().waitForFinished(5000));
    everyOut += first.Out() + first.Err();
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
    THeadlessRun second;
    start(second);
    ASSERT_TRUE(second.WaitForLine("EMAIL Log: Push sent to: 10.231.1.2", 20000))
        << second.Out().toStdString();
    ASSERT_TRUE(second.WaitForLine("Up\t10.231.3.2\t", 20000)) << second.Out().toStdString();
    QTest::qWait(3000);
    const auto got = receiver.Received();
    ASSERT_EQ(got.size(), 1);
    const QJsonObject json = QJsonDocument::fromJson(got[0].body).object();
    EXPECT_EQ(json["address"].toString(), "10.231.3.2");
    EXPECT_EQ(json["state"].toString(), "DOWN");
    EXPECT_TRUE(json["text"].toString().startsWith("flaky [ 10.231.3.2 ]  DOWN on: "));
    EXPECT_EQ(got[0].authorization, "Bearer " + kToken);

    ::kill(pid_t(second.Pid()), SIGTERM);
    ASSERT_TRUE(second.Process().waitForFinished(10000));
    everyOut += second.Out() + second.Err();
    EXPECT_EQ(second.Process().exitCode(), 0);
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
