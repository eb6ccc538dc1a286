// The history through the paths an operator takes: velmora-headless probing
// the namespace test hosts, one taken down half way, and --history of a
// second process reading the file while the monitor runs and after kill -9.
#include "HeadlessRun.h"
#include "IcmpHosts.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct HistoryHostsTest : ::testing::Test {
    std::unique_ptr<TIcmpHosts> hosts;
    QTemporaryDir dir;

    void SetUp() override {
        if (const std::string why = TIcmpHosts::Unavailable(); !why.empty())
            GTEST_SKIP() << why;
        hosts = std::make_unique<TIcmpHosts>("vm-hi");
        ASSERT_TRUE(hosts->problem().empty()) << hosts->problem();
        ASSERT_TRUE(QFile::copy(VELMORA_HEADLESS, dir.filePath("velmora-headless")));
        WriteTestFile(dir.filePath("hosts.dat"), "10.231.1.2\tanswers\r\n10.231.3.2\tflaky\r\n");
        WriteTestFile(dir.filePath("velmora.ini"),
                      "[VELMORA Settings]\r\nDATFile=" + dir.filePath("hosts.dat").toUtf8() +
                          "\r\nVelmoraPingTimeOut=1\r\n"
                          "VelmoraPacketsPerSite=1\r\n"
                          "VelmoraInterPacketDelay=100\r\n"
                          "VelmoraInterSiteDelay=1\r\n");
    }

    void start(THeadlessRun& run) {
        run.Start(dir.filePath("velmora-headless"), {},
                  QString::fromStdString(hosts->Namespace("c")));
    }

    struct Run {
        int code = -1;
        QStringList lines;
        QString err;
    };
    // A second process beside the monitor, as an operator would run it.
    Run history(const QStringList& args) {
        QProcess p;
        p.start(dir.filePath("velmora-headless"), QStringList{"--history"} + args);
        Run r;
        if (!p.waitForFinished(10000))
            return r;
        r.code = p.exitCode();
        r.lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
};

TEST_F(HistoryHostsTest, RowsPerEchoRepliesThenLossesSurviveKillNine) {
    THeadlessRun monitor;
    start(monitor);
    ASSERT_TRUE(monitor.WaitForLine("Up\t10.231.3.2\t", 20000)) << monitor.Out().toStdString();
    QTest::qWait(4000);
    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 down"));
    ASSERT_TRUE(monitor.WaitForLine("DOWN\t10.231.3.2\t", 30000)) << monitor.Out().toStdString();
    QTest::qWait(3000);

    // Read while the monitor runs: header, then replies, then losses only.
    const Run running = history({"10.231.3.2"});
    ASSERT_EQ(running.code, 0) << running.err.toStdString();
    ASSERT_GE(running.lines.size(), 4);
    EXPECT_EQ(running.lines[0], "time,address,location,replied,rtt_ms");
    int replies = 0, losses = 0;
    QString previous;
    for (int i = 1; i < running.lines.size(); ++i) {
        const QStringList f = running.lines[i].split(',');
        ASSERT_EQ(f.size(), 5) << running.lines[i].toStdString();
        EXPECT_EQ(f[1], "10.231.3.2");
        EXPECT_EQ(f[2], "flaky");
        EXPECT_TRUE(QDateTime::fromString(f[0], Qt::ISODateWithMs).isValid());
        EXPECT_EQ(f[0].size(), 24) << "milliseconds and Z: " << f[0].toStdString();
        EXPECT_LE(previous, f[0]) << "time order";
        previous = f[0];
        if (f[3] == "1") {
            EXPECT_EQ(losses, 0) << "a reply after the host went down";
            EXPECT_FALSE(f[4].isEmpty());
            ++replies;
        } else {
            EXPECT_EQ(f[3], "0");
            EXPECT_TRUE(f[4].isEmpty());
            ++losses;
        }
    }
    EXPECT_GT(replies, 0);
    EXPECT_GT(losses, 0);

    // kill -9: the file stays whole and keeps every row older than two seconds.
    QTest::qWait(1500);
    const Run before = history({"10.231.3.2"});
    const qint64 killedAt = QDateTime::currentMSecsSinceEpoch();
    ::kill(pid_t(monitor.Pid()), SIGKILL);
    monitor.Process().waitForFinished(5000);
    // `ip netns exec` passes the signal's end on; the program itself is gone
    // once its child is.
    QTest::qWait(300);
    QProcess check;
    check.start("sqlite3", {dir.filePath("velmora-history.sqlite"), "PRAGMA integrity_check"});
    ASSERT_TRUE(check.waitForFinished(10000));
    EXPECT_EQ(QString::fromUtf8(check.readAllStandardOutput()).trimmed(), "ok");
    const Run after = history({"10.231.3.2"});
    int kept = 0, old = 0;
    for (int i = 1; i < before.lines.size(); ++i) {
        const qint64 t =
            QDateTime::fromString(before.lines[i].section(',', 0, 0), Qt::ISODateWithMs)
                .toMSecsSinceEpoch();
        if (t < killedAt - 2000) {
            ++old;
            kept += after.lines.contains(before.lines[i]);
        }
    }
    EXPECT_GT(old, 0);
    EXPECT_EQ(kept, old);

    // --since and --until cut the rows at the instants given.
    const QString mid = after.lines[after.lines.size() / 2].section(',', 0, 0);
    const QString midSecond = mid.left(19) + "Z";
    const Run since = history({"10.231.3.2", "--since", midSecond});
    const Run until = history({"10.231.3.2", "--until", midSecond});
    ASSERT_EQ(since.code, 0);
    ASSERT_EQ(until.code, 0);
    EXPECT_GT(since.lines.size(), 1);
    EXPECT_GT(until.lines.size(), 1);
    EXPECT_LT(since.lines.size(), after.lines.size());
    for (int i = 1; i < since.lines.size(); ++i)
        EXPECT_GE(since.lines[i].left(19), midSecond.left(19));
    for (int i = 1; i < until.lines.size(); ++i)
        EXPECT_LE(until.lines[i].left(19), midSecond.left(19));
    // Both halves together are every row (the cut second is in both).
    EXPECT_GE(since.lines.size() + until.lines.size() - 2, after.lines.size() - 1);

    // An address without history: the header alone.
    const Run none = history({"10.231.9.9"});
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.lines, QStringList{"time,address,location,replied,rtt_ms"});
}

TEST_F(HistoryHostsTest, HistoryDaysZeroWritesNoFile) {
    QFile ini(dir.filePath("velmora.ini"));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("HistoryDays=0\r\n");
    ini.close();
    THeadlessRun monitor;
    start(monitor);
    ASSERT_TRUE(monitor.WaitForLine("Up\t10.231.3.2\t", 20000)) << monitor.Out().toStdString();
    QTest::qWait(2000);
    ::kill(pid_t(monitor.Pid()), SIGTERM);
    monitor.Process().waitForFinished(10000);
    EXPECT_FALSE(QFile::exists(dir.filePath("velmora-history.sqlite")));
    const Run r = history({"10.231.3.2"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.lines, QStringList{"time,address,location,replied,rtt_ms"});
}

TEST_F(HistoryHostsTest, ATimeItCannotReadExitsTwoWithOneLine) {
    for (const char* bad : {"yesterday", "2026-13-01", "2026-12-11T25:00Z", "2026-12-11 10:00"}) {
        const Run r = history({"10.231.3.2", "--since", bad});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_TRUE(r.lines.isEmpty()) << bad;
        EXPECT_EQ(r.err.count('\n'), 1) << bad << ": " << r.err.toStdString();
    }
    const Run good =
        history({"10.231.3.2", "--since", "2026-12-11T10:00+02:00", "--until", "2026-12-12"});
    EXPECT_EQ(good.code, 0) << good.err.toStdString();
}

} // namespace
