// The program without a display, as a service runs it: velmora-headless in
// the client namespace of the test hosts, with a real SMTP server beside it,
// no DISPLAY and no Qt platform set. A host taken down gives its DOWN line
// on standard output and a message in the mailbox; SIGTERM ends it with
// status 0 and the saved state in the settings file; a second start goes
// on from that state.
#include "HeadlessRun.h"
#include "IcmpHosts.h"
#include "PeerProcess.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

QString python() {
    return TPeerProcess::Python("aiosmtpd");
}

struct HeadlessHostsTest : ::testing::Test {
    std::unique_ptr<TIcmpHosts> hosts;
    QTemporaryDir dir;
    TPeerProcess smtp;

    void SetUp() override {
        if (const std::string why = TIcmpHosts::Unavailable(); !why.empty())
            GTEST_SKIP() << why;
        if (python().isEmpty())
            GTEST_SKIP() << "python3-aiosmtpd is not installed";
        hosts = std::make_unique<TIcmpHosts>("vm-hl");
        ASSERT_TRUE(hosts->problem().empty()) << hosts->problem();
        ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, dir.filePath("velmora-headless")));
        WriteTestFile(dir.filePath("hosts.dat"), "10.231.1.2\tanswers\r\n10.231.3.2\tflaky\r\n");
        WriteTestFile(dir.filePath("velmora.ini"),
                      "[VELMORA Settings]\r\n"
                      "DATFile=" +
                          dir.filePath("hosts.dat").toUtf8() +
                          "\r\n"
                          "VelmoraPingTimeOut=1\r\nVelmoraPacketsPerSite=1\r\n"
                          "VelmoraInterPacketDelay=100\r\nVelmoraInterSiteDelay=1\r\n"
                          "saveStateOnExit=1\r\n"
                          "YourEMAILAddress=velmora@velmora.test\r\nSitesCritical=2\r\n"
                          "MXAddress=127.0.0.1\r\nUseMXAddress=1\r\n"
                          "[Notify Addresses]\r\nAddress-0=ops@velmora.test\r\n"
                          "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
    }

    // The mail server lives in the client namespace too, on its loopback.
    void startMailServer() {
        const QString why =
            smtp.Start("aiosmtpd", "ip",
                       {"netns", "exec", QString::fromStdString(hosts->Namespace("c")), python(),
                        "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:25", "-c",
                        "aiosmtpd.handlers.Mailbox", dir.filePath("mail")},
                       {});
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    }

    // The program in the client namespace, as its service would start it.
    void start(THeadlessRun& run) {
        run.Start(dir.filePath("velmora-headless"), {},
                  QString::fromStdString(hosts->Namespace("c")));
    }

    QStringList mails(int waitMs) {
        QElapsedTimer t;
        t.start();
        QStringList found;
        do {
            found.clear();
            const QDir d(dir.filePath("mail/new"));
            for (const QFileInfo& f : d.entryInfoList(QDir::Files))
                found << QString::fromUtf8(ReadTestFile(f.filePath()));
            if (!found.isEmpty())
                break;
            QTest::qWait(200);
        } while (t.elapsed() < waitMs);
        return found;
    }

    int terminate(THeadlessRun& run) {
        QProcess& p = run.Process();
        ::kill(pid_t(p.processId()), SIGTERM);
        EXPECT_TRUE(p.waitForFinished(10000)) << "SIGTERM did not end it";
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
};

TEST_F(HeadlessHostsTest, DownLineMailSavedStateAndASecondStart) {
    startMailServer();
    THeadlessRun first;
    start(first);
    ASSERT_TRUE(first.WaitForLine("Up\t10.231.3.2\t", 20000)) << first.Out().toStdString();
    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 down"));
    ASSERT_TRUE(first.WaitForLine("DOWN\t10.231.3.2\t", 20000)) << first.Out().toStdString();
    const QStringList got = mails(30000);
    ASSERT_EQ(got.size(), 1) << first.Out().toStdString();
    EXPECT_TRUE(got[0].contains("Subject: Velmora Alert"));
    EXPECT_TRUE(got[0].contains("flaky [ 10.231.3.2 ]  DOWN on: "));
    // The delivery is reported on standard output, the service's journal.
    EXPECT_TRUE(first.WaitForLine("EMAIL Log: EMAIL sent to: ", 10000))
        << first.Out().toStdString();
    EXPECT_TRUE(first.Out().contains("EMAIL Log: Message Body: flaky [ 10.231.3.2 ]  DOWN on: "));
    EXPECT_TRUE(first.WaitForLine("EMAIL Log: EMAIL queue is empty.", 10000));
    EXPECT_FALSE(first.Out().contains("EMAIL Log: \n")) << "no blank spacer lines";
    EXPECT_EQ(terminate(first), 0) << first.Err().toStdString();

    const QByteArray ini = ReadTestFile(dir.filePath("velmora.ini"));
    EXPECT_TRUE(ini.contains("[SaveOnExit_Grid]"));
    EXPECT_TRUE(ini.contains("10.231.3.2\tflaky\tNo\tDOWN\t")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("[SaveOnExit_VelmoraLog]"));

    // The second start takes the grid and the log from the saved state: the
    // host's status is still DOWN, so its return is a change.
    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 up"));
    THeadlessRun second;
    start(second);
    // The saved log holds the first run's Up line for the host; its return
    // is the second.
    ASSERT_TRUE(second.WaitForLines("Up\t10.231.3.2\t", 2, 20000)) << second.Out().toStdString();
    EXPECT_TRUE(second.Out().startsWith("Up\t10.231.1.2\t")) << "the saved log comes first";
    EXPECT_TRUE(second.Out().contains("DOWN\t10.231.3.2\t")) << second.Out().toStdString();
    EXPECT_EQ(second.Out().count("Up\t10.231.1.2\t"), 1) << "a device restored Up is no change";
    EXPECT_EQ(terminate(second), 0);
}

// With the state kept across a restart, an alert queued during an outage
// survives a kill -9 and goes out after the next start.
TEST_F(HeadlessHostsTest, AQueuedAlertSurvivesAKillAndIsDeliveredAfterTheRestart) {
    THeadlessRun first;
    start(first); // no mail server yet: the alert stays queued
    ASSERT_TRUE(first.WaitForLine("Up\t10.231.3.2\t", 20000)) << first.Out().toStdString();
    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 down"));
    ASSERT_TRUE(first.WaitForLine("DOWN\t10.231.3.2\t", 20000)) << first.Out().toStdString();
    QTest::qWait(500);
    ::kill(pid_t(first.Pid()), SIGKILL);
    ASSERT_TRUE(first.Process().waitForFinished(5000));
    const QByteArray ini = ReadTestFile(dir.filePath("velmora.ini"));
    EXPECT_TRUE(ini.contains("[SaveOnExit_EMAILQueue]"));
    EXPECT_FALSE(ini.contains("[SaveOnExit_Grid]")) << "no clean close happened";

    startMailServer();
    THeadlessRun second;
    start(second);
    const QStringList got = mails(30000);
    ASSERT_EQ(got.size(), 1) << second.Out().toStdString();
    EXPECT_TRUE(got[0].contains("flaky [ 10.231.3.2 ]  DOWN on: "));
    // The devices came from the data file, not the loopback row.
    EXPECT_TRUE(second.WaitForLine("Up\t10.231.1.2\t", 20000)) << second.Out().toStdString();
    EXPECT_FALSE(second.Out().contains("127.0.0.1"));
    EXPECT_EQ(terminate(second), 0);
}

TEST(HeadlessProgram, LinksNoWidgetLibrary) {
    QProcess ldd;
    ldd.start("ldd", {VELMORA_HEADLESS});
    ASSERT_TRUE(ldd.waitForFinished(10000));
    const QString libs = QString::fromUtf8(ldd.readAllStandardOutput());
    ASSERT_TRUE(libs.contains("libQt6Core")) << libs.toStdString();
    EXPECT_FALSE(libs.contains("libQt6Widgets")) << libs.toStdString();
    EXPECT_FALSE(libs.contains("libQt6Gui")) << libs.toStdString();
}

TEST(HeadlessProgram, AnUnreadableSettingsFileEndsItWithOneLine) {
    QTemporaryDir d;
    ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, d.filePath("velmora-headless")));
    // There, but nothing that can be read (root reads any plain file).
    ASSERT_TRUE(QDir(d.path()).mkdir("velmora.ini"));
    QProcess p;
    p.start(d.filePath("velmora-headless"), {});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_NE(p.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(p.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains("velmora.ini"));
}

// The schedule runs without a window: 0 hours 0 minutes publishes on every
// tick, under the names the index page links to, and copies to the folder.
TEST(HeadlessProgram, PublishesTheStatusPagesOnTheSchedule) {
    QTemporaryDir d;
    ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, d.filePath("velmora-headless")));
    ASSERT_TRUE(QDir(d.path()).mkdir("www"));
    WriteTestFile(d.filePath("velmora.ini"),
                  "[VELMORA Settings]\r\nVelmoraInterSiteDelay=60\r\n"
                  "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n"
                  "[Web Page Settings]\r\nWebPageCheckBoxVelmora=1\r\nWebPageEditHours=0\r\n"
                  "WebPageEditMin=0\r\nCheckBoxWebPageLocalDrive=1\r\nEditWebPageDrivePath=" +
                      d.filePath("www").toUtf8() + "\r\n");
    QProcess p;
    p.start(d.filePath("velmora-headless"), {});
    ASSERT_TRUE(p.waitForStarted(5000));
    const QString copied = d.filePath("www/velmoralog.htm");
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(copied); }, 10000));
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(out.contains("Transfer Log: " + d.filePath("velmora.htm") + " created."))
        << out.toStdString();
    EXPECT_TRUE(out.contains("Transfer Log:   - Velmora Log HTML File Copied to " + copied));
    EXPECT_TRUE(
        ReadTestFile(d.filePath("www/velmora.htm")).contains("<td align=\"left\">127.0.0.1</td>"));
    EXPECT_FALSE(QFile::exists(d.filePath("velmora-headless.htm")));
}

// A supervisor may stop the service the moment its lock appears: that stop
// still goes through the close rule and ends it with status 0.
TEST(HeadlessProgram, ASIGTERMAsSoonAsTheLockAppearsEndsItCleanly) {
    QTemporaryDir d;
    ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, d.filePath("velmora-headless")));
    WriteTestFile(d.filePath("velmora.ini"), "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
    const QByteArray lock = QFile::encodeName(d.filePath("velmora.ini.lock"));
    for (int i = 0; i < 10; ++i) {
        QFile::remove(d.filePath("velmora.ini.lock"));
        QProcess p;
        p.start(d.filePath("velmora-headless"), {});
        ASSERT_TRUE(p.waitForStarted(5000));
        QElapsedTimer t;
        t.start();
        while (::access(lock.constData(), F_OK) != 0 && t.elapsed() < 10000)
            ::usleep(200);
        ::kill(pid_t(p.processId()), SIGTERM);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "start " << i;
        EXPECT_EQ(p.exitCode(), 0) << "start " << i;
    }
}

// One instance per settings file: a second start names the lock and its
// holder and writes nothing.
TEST(HeadlessProgram, ASecondInstanceOnTheSameFolderRefusesToRun) {
    QTemporaryDir d;
    ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, d.filePath("velmora-headless")));
    const QByteArray settings = "[VELMORA Settings]\r\nVelmoraInterSiteDelay=60\r\n"
                                "[DNS Settings]\r\nDNS-0=127.0.0.1\r\n";
    WriteTestFile(d.filePath("velmora.ini"), settings);
    QProcess first;
    first.start(d.filePath("velmora-headless"), {});
    ASSERT_TRUE(first.waitForStarted(5000));
    QTest::qWait(1000);
    QProcess second;
    second.start(d.filePath("velmora-headless"), {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_NE(second.exitCode(), 0);
    const QString said = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(said.contains(d.filePath("velmora.ini.lock"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QString::number(first.processId()))) << said.toStdString();
    EXPECT_EQ(ReadTestFile(d.filePath("velmora.ini")), settings);
    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);
    // The lock goes with its holder: the next start runs.
    QProcess third;
    third.start(d.filePath("velmora-headless"), {});
    ASSERT_TRUE(third.waitForStarted(5000));
    EXPECT_FALSE(third.waitForFinished(1500)) << "a third start after the first ended runs";
    ::kill(pid_t(third.processId()), SIGTERM);
    third.waitForFinished(10000);
}

// A service must not watch nothing without a word: a configured data file
// that is missing or cannot be read is named on standard error. Root reads
// any file, so as root the program runs as nobody.
TEST(HeadlessProgram, ADataFileItCannotUseIsNamedOnStandardError) {
    struct Case {
        const char* name;
        QFileDevice::Permissions mode; // 0: the file is not there
        QString said;                  // empty: nothing is said of it
    };
    const QFileDevice::Permissions readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadOther | QFileDevice::ReadGroup;
    const Case cases[] = {
        {"missing", {}, "is not there or not a file; only the loopback row is monitored"},
        {"unreadable", QFileDevice::WriteOwner, "cannot read the data file"},
        {"readable", readable, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir d;
        // nobody writes the lock beside the settings.
        ASSERT_TRUE(QFile(d.path()).setPermissions(QFileDevice::Permissions(0x7777)));
        ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, d.filePath("velmora-headless")));
        const QString data = d.filePath("devices.dat");
        if (c.mode) {
            WriteTestFile(data, "127.0.0.1\tLocal host\r\n");
            ASSERT_TRUE(QFile(data).setPermissions(c.mode));
        }
        WriteTestFile(d.filePath("velmora.ini"), "[VELMORA Settings]\r\nDATFile=" + data.toUtf8() +
                                                     "\r\n[DNS Settings]\r\nDNS-0=127.0.0.1\r\n");
        QStringList args{d.filePath("velmora-headless")};
        if (::geteuid() == 0)
            args = QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"} + args;
        QProcess p;
        p.start(::geteuid() == 0 ? "setpriv" : args.takeFirst(), args);
        ASSERT_TRUE(p.waitForStarted(5000));
        QTest::qWait(1500);
        ::kill(pid_t(p.processId()), SIGTERM);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 0);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        if (c.said.isEmpty()) {
            EXPECT_FALSE(err.contains("data file")) << err.toStdString();
        } else {
            EXPECT_TRUE(err.contains('"' + data + '"')) << err.toStdString();
            EXPECT_TRUE(err.contains(c.said)) << err.toStdString();
        }
    }
}

} // namespace
