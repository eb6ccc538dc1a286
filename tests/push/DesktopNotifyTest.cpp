// Desktop notifications from the window, on a private session bus made by
// the test: first with no notification service on it, then with dunst (on
// Xvfb) answering, and dbus-monitor reading what was sent.
#include "PeerProcess.h"
#include "PushTestSupport.h"
#include "TestSupport.h"

#include "devices/DeviceGrid.h"
#include "platform/LogModel.h"
#include "push/DesktopNotifier.h"
#include "session/Session.h"
#include "window/MainWindow.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <atomic>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct DesktopNotifyTest : ::testing::Test {
    QProcess bus, monitor, xvfb, dunst;
    QByteArray address;
    QByteArray savedAddress;
    QString seen; // what dbus-monitor printed so far

    void SetUp() override {
        for (const char* tool : {"dbus-daemon", "dbus-monitor", "dunst", "Xvfb"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                GTEST_SKIP() << tool << " is not installed";
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(bus.waitForStarted(5000));
        ASSERT_TRUE(WaitFor([&] { return bus.canReadLine(); }, 5000));
        address = bus.readLine().trimmed();
        ASSERT_FALSE(address.isEmpty());
        savedAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        monitor.setProcessChannelMode(QProcess::MergedChannels);
        monitor.start("dbus-monitor",
                      {"--address", QString::fromUtf8(address),
                       "type='method_call',interface='org.freedesktop.Notifications',"
                       "member='Notify'"});
        ASSERT_TRUE(monitor.waitForStarted(5000));
        QTest::qWait(300);
    }
    void TearDown() override {
        for (QProcess* p : {&dunst, &xvfb, &monitor, &bus})
            StopProcess(*p);
        qputenv("DBUS_SESSION_BUS_ADDRESS", savedAddress);
    }

    void startDunst() {
        const QString display = QStringLiteral(":%1").arg(int(::getpid()) % 400 + 600);
        xvfb.start("Xvfb", {display, "-nolisten", "tcp"});
        ASSERT_TRUE(xvfb.waitForStarted(5000));
        QTest::qWait(500);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(address));
        dunst.setProcessEnvironment(env);
        dunst.setProcessChannelMode(QProcess::MergedChannels);
        dunst.start("dunst", {});
        ASSERT_TRUE(dunst.waitForStarted(5000));
        // dunst owns the name once it is ready.
        ASSERT_TRUE(WaitFor(
            [&] {
                QProcess q;
                q.start("dbus-send", {"--bus=" + QString::fromUtf8(address), "--print-reply",
                                      "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                      "org.freedesktop.DBus.NameHasOwner",
                                      "string:org.freedesktop.Notifications"});
                return q.waitForFinished(3000) && q.readAll().contains("boolean true");
            },
            10000))
            << dunst.readAll().toStdString();
    }
};

TEST_F(DesktopNotifyTest, NoServiceMeansOneLineThenDunstShowsTheChange) {
    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TForm1::Options o;
    o.quitOnClose = false;
    TForm1 form(o);
    TSession& session = form.Session();
    std::atomic<bool> answers{false};
    session.Cycle().SetEcho([&answers](const QString&, int) {
        TEchoResult r;
        r.replied = answers.load();
        r.roundTripTime = 1;
        return r;
    });
    TMonitorSettings m = session.Monitor();
    m.packetsPerSite = 1;
    m.interPacketDelay = 100;
    m.interSiteDelay = 1;
    session.SetMonitorSettings(m);
    session.Cycle().SetIntervals(100, 1);
    session.PushSettings().desktopNotify = true;
    auto* notifier = Named<TDesktopNotifier>(form, "DesktopNotifier");
    QSignalSpy answered(notifier, &TDesktopNotifier::Answered);
    auto changes = [&] {
        return session.MonitorLog().Lines().filter(QRegularExpression("^(DOWN|Up)\t")).size();
    };
    auto failures = [&] {
        return session.MonitorLog().Lines().filter("Desktop notification failed: ").size();
    };

    // No service: DOWN, Up, DOWN, each tried, one line, the cycle going on.
    for (bool next : {false, true, false}) {
        const qsizetype before = changes();
        answers = next;
        ASSERT_TRUE(WaitFor([&] { return changes() > before; }, 10000))
            << session.MonitorLog().Lines().join('\n').toStdString();
    }
    ASSERT_TRUE(WaitFor([&] { return answered.size() >= 3; }, 10000));
    for (const QList<QVariant>& a : answered)
        EXPECT_FALSE(a.at(0).toBool());
    EXPECT_EQ(failures(), 1) << session.MonitorLog().Lines().join('\n').toStdString();
    EXPECT_EQ(session.Grid().Cell(1, 3), "DOWN");

    // The service arrives: the next DOWN is shown by dunst.
    startDunst();
    answers = true;
    ASSERT_TRUE(WaitFor([&] { return session.Grid().Cell(1, 3) == "Up"; }, 10000));
    ASSERT_TRUE(WaitFor([&] { return answered.size() >= 4; }, 10000));
    EXPECT_TRUE(answered.last().at(0).toBool()) << dunst.readAll().toStdString();
    answered.clear();
    seen += QString::fromUtf8(monitor.readAll());
    const qsizetype upCalls = seen.count("member=Notify");
    answers = false;
    ASSERT_TRUE(WaitFor([&] { return answered.size() >= 1; }, 10000));
    EXPECT_TRUE(answered.last().at(0).toBool());
    QTest::qWait(300);
    seen += QString::fromUtf8(monitor.readAll());
    const QString since = session.Grid().Cell(1, 4);
    const QString down = seen.mid(seen.lastIndexOf("member=Notify"));
    EXPECT_EQ(seen.count("member=Notify"), upCalls + 1);
    EXPECT_TRUE(down.contains("string \"DOWN: loopback\"")) << down.toStdString();
    EXPECT_TRUE(down.contains("string \"127.0.0.1 since " + since + "\"")) << down.toStdString();
    EXPECT_TRUE(down.contains("string \"urgency\"")) << down.toStdString();
    EXPECT_TRUE(down.contains("byte 2")) << down.toStdString();
    EXPECT_TRUE(seen.contains("string \"Up: loopback\"")) << seen.toStdString();
    EXPECT_EQ(failures(), 1) << "nothing more after the first failure";
}

} // namespace
