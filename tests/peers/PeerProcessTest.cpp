// The peer process every server peer starts through: it comes back as soon
// as the ready line is out, gives up within its bound when the line never
// comes or the program dies, and leaves no process behind.
#include "PeerProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <signal.h>

namespace {

bool Alive(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

TEST(PeerProcess, WaitsForTheReadyLineWithinItsBound) {
    struct Case {
        const char* name;
        const char* script;
        bool comesUp;
        qint64 atMostMs;
        const char* reasonHolds; // in the reason it did not come up
    };
    const Case cases[] = {
        {"ready at once", "echo starting; echo ready; exec sleep 30", true, 2000, ""},
        {"ready on stderr", "echo ready >&2; exec sleep 30", true, 2000, ""},
        {"never ready", "echo starting; exec sleep 30", false, 3000, "starting"},
        {"dies before ready", "echo bad config; exit 3", false, 2000, "bad config"},
    };
    for (const Case& c : cases) {
        TPeerProcess peer;
        QElapsedTimer t;
        t.start();
        const QString why = peer.Start("peer", "/bin/sh", {"-c", c.script}, "ready\n", 1500);
        EXPECT_LT(t.elapsed(), c.atMostMs) << c.name;
        EXPECT_EQ(why.isEmpty(), c.comesUp) << c.name << ": " << why.toStdString();
        if (!c.comesUp) {
            EXPECT_TRUE(why.startsWith("peer did not come up: ")) << c.name;
            EXPECT_TRUE(why.contains(c.reasonHolds)) << c.name << ": " << why.toStdString();
        }
    }
}

TEST(PeerProcess, StandardErrorIsNotTheReadyLineWhenChannelsAreSeparate) {
    TPeerProcess peer;
    QElapsedTimer t;
    t.start();
    const QString why = peer.Start("peer", "/bin/sh", {"-c", "echo ready >&2; exec sleep 30"},
                                   "ready\n", 500, TPeerProcess::Channels::Separate);
    EXPECT_TRUE(why.startsWith("peer did not come up: ")) << why.toStdString();
    EXPECT_TRUE(why.contains("ready")) << "standard error goes into the reason";
    EXPECT_LT(t.elapsed(), 2000);
}

TEST(PeerProcess, StopEndsEvenAProgramThatIgnoresTerminate) {
    qint64 pid = 0;
    {
        TPeerProcess peer;
        ASSERT_EQ(peer.Start("peer", "/bin/sh",
                             {"-c", "trap '' TERM; echo ready; while :; do sleep 0.1; done"},
                             "ready\n"),
                  QString());
        pid = peer.Process().processId();
        ASSERT_TRUE(Alive(pid));
        QElapsedTimer t;
        t.start();
        peer.Stop();
        EXPECT_LT(t.elapsed(), 7000);
        EXPECT_FALSE(peer.Running());
    }
    EXPECT_FALSE(Alive(pid));
}

TEST(PeerProcess, AProgramThatIsMissingIsReportedByName) {
    TPeerProcess peer;
    const QString why = peer.Start("dnsmasq", "/nonexistent/dnsmasq", {}, "ready\n");
    EXPECT_TRUE(why.startsWith("dnsmasq did not start: ")) << why.toStdString();
    EXPECT_FALSE(peer.Running());
    EXPECT_TRUE(TPeerProcess::Find("no-such-program-here").isEmpty());
    EXPECT_TRUE(QFileInfo(TPeerProcess::Find("sh", {"/bin"})).isExecutable());
}

} // namespace
