// The Ping page in the window against namespace test hosts (see
// tests/peers/icmp_hosts.sh): one that answers, one that never does, and one
// two hops away behind a router. The page's probes run on threads that
// joined the client namespace, so all traffic stays between our namespaces.
#include "IcmpHosts.h"
#include "NamespaceEcho.h"
#include "TestSupport.h"
#include "devices/DeviceGrid.h"
#include "icmp/PingPageEngine.h"
#include "icmp/PingPageView.h"
#include "icmp/Pinger.h"
#include "monitor/MonitorCycle.h"
#include "platform/IniFile.h"
#include "platform/LogModel.h"
#include "session/Session.h"
#include "ui/LogPane.h"
#include "window/MainWindow.h"

#include "StallMeter.h"
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>
#include <iostream>

namespace {

std::unique_ptr<TIcmpHosts> hosts;

TProbeWrapper InClient() {
    TIcmpHosts* h = hosts.get();
    return [h](const std::function<void()>& probe) { h->OnThreadIn("c", probe); };
}

const QRegularExpression
    replyLine(QStringLiteral(R"(^Reply from 10\.231\.1\.2: bytes=32 time=\d+ms TTL=64$)"));

struct PingPageHostsTest : ::testing::Test {
    static void SetUpTestSuite() {
        if (TIcmpHosts::Unavailable().empty())
            hosts = std::make_unique<TIcmpHosts>("vm-ping");
    }
    static void TearDownTestSuite() { hosts.reset(); }

    TTempProgramFolder folder;
    TScriptedPrompts prompts;
    TRecordingLauncher launcher;
    std::unique_ptr<TForm1> form;
    TPingPage* page = nullptr;

    void SetUp() override {
        if (const std::string why = TIcmpHosts::Unavailable(); !why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(hosts->problem().empty()) << hosts->problem();
        TForm1::Options o;
        o.quitOnClose = false;
        form = std::make_unique<TForm1>(o);
        form->Session().Cycle().StopTimers();
        engine().SetProbeWrapper(InClient());
        page = Named<TPingPage>(*form, "TPingPage");
        ASSERT_NE(page, nullptr);
    }
    TPingPageEngine& engine() const { return form->Session().PingPage(); }
    void set(const QString& target, int packets, int timeOut, bool trace = false) {
        page->ComboBoxPingList->setEditText(target);
        page->EditPingPackets->setValue(packets);
        page->EditPingTimeOut->setValue(timeOut);
        if (page->CheckBoxPingTR->isChecked() != trace)
            page->CheckBoxPingTR->click();
    }
    // Clicks "Ping" and waits for the run to end by itself.
    bool run(int boundMs) {
        QSignalSpy ended(&engine(), &TPingPageEngine::RunEnded);
        page->ButtonPingPage->click();
        EXPECT_EQ(page->ButtonPingPage->text(), "Stop");
        return ended.wait(boundMs);
    }
    // Clicks "Stop": the run ends at once between two probes, otherwise
    // when the current probe is done.
    bool stop(int boundMs) {
        QSignalSpy ended(&engine(), &TPingPageEngine::RunEnded);
        page->ButtonPingPage->click();
        EXPECT_EQ(page->ButtonPingPage->text(), "Ping");
        return ended.count() == 1 || ended.wait(boundMs);
    }
    QStringList lines() const { return page->MemoPingPage->Lines(); }
};

TEST_F(PingPageHostsTest, FourEchoesToAnAnsweringAndToASilentHost) {
    set("10.231.1.2", 4, 1);
    ASSERT_TRUE(run(10000));
    ASSERT_EQ(lines().size(), 4) << lines().join('|').toStdString();
    for (const QString& l : lines())
        EXPECT_TRUE(replyLine.match(l).hasMatch()) << l.toStdString();
    EXPECT_EQ(page->ButtonPingPage->text(), "Ping");

    set("10.231.2.2", 4, 1);
    ASSERT_TRUE(run(15000));
    EXPECT_EQ(lines(), QStringList(4, "10.231.2.2 : Request timed out."));
    EXPECT_EQ(engine().PacketCount(), 4);
}

TEST_F(PingPageHostsTest, ZeroOrOnePacketMakeOneEcho) {
    for (int packets : {0, 1, 2}) {
        set("10.231.1.2", packets, 1);
        QSignalSpy probes(&engine(), &TPingPageEngine::ProbeStarted);
        ASSERT_TRUE(run(10000)) << packets;
        const int echoes = std::max(packets, 1);
        EXPECT_EQ(probes.count(), echoes) << packets;
        EXPECT_EQ(lines().size(), echoes) << packets;
    }
}

TEST_F(PingPageHostsTest, StopDuringNinetyNineEchoesEndsAfterTheCurrentOne) {
    set("10.231.2.2", 99, 1);
    QSignalSpy started(&engine(), &TPingPageEngine::ProbeStarted);
    QSignalSpy ended(&engine(), &TPingPageEngine::RunEnded);
    page->ButtonPingPage->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.count() == 2; }, 5000));
    ASSERT_TRUE(engine().WorkerBusy());
    page->ButtonPingPage->click();
    EXPECT_EQ(page->ButtonPingPage->text(), "Ping");
    EXPECT_FALSE(engine().Running());
    ASSERT_TRUE(ended.wait(3000));
    // The stopped run writes nothing more and probes no more.
    QTest::qWait(1200);
    EXPECT_EQ(started.count(), 2);
    EXPECT_EQ(engine().PacketCount(), 2);
    EXPECT_EQ(lines(), QStringList{"10.231.2.2 : Request timed out."});
    EXPECT_EQ(ended.count(), 1);
}

TEST_F(PingPageHostsTest, ARunStartedAfterStopWaitsForTheStoppedProbe) {
    set("10.231.2.2", 99, 2);
    QStringList events;
    QElapsedTimer clock;
    clock.start();
    qint64 firstEnded = -1, secondStarted = -1;
    QObject::connect(&engine(), &TPingPageEngine::ProbeStarted, form.get(), [&] {
        events << "start";
        if (events.count("start") == 2)
            secondStarted = clock.elapsed();
    });
    QObject::connect(&engine(), &TPingPageEngine::ProbeFinished, form.get(), [&] {
        events << "end";
        if (firstEnded < 0)
            firstEnded = clock.elapsed();
    });
    page->ButtonPingPage->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 1; }, 3000));
    page->ButtonPingPage->click(); // Stop, the first echo still out
    page->ButtonPingPage->click(); // and Ping again
    EXPECT_TRUE(engine().Running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() == 3; }, 6000));
    EXPECT_EQ(events, (QStringList{"start", "end", "start"}));
    EXPECT_GE(secondStarted, firstEnded);
    EXPECT_TRUE(lines().isEmpty()) << lines().join('|').toStdString();
    ASSERT_TRUE(stop(4000));
    EXPECT_EQ(engine().PacketCount(), 1);
}

TEST_F(PingPageHostsTest, TraceThroughTheRouterEndsAtHopTwo) {
    set("10.231.6.2", 4, 2, true);
    EXPECT_FALSE(page->EditPingPackets->isEnabled());
    ASSERT_TRUE(run(20000));
    const QStringList l = lines();
    ASSERT_EQ(l.size(), 2) << l.join('|').toStdString();
    const QRegularExpression hop1(R"(^1\t\d+ ms\t\d+ ms\t\d+ ms\t10\.231\.4\.2$)");
    const QRegularExpression hop2(R"(^2\t\d+ ms\t\d+ ms\t\d+ ms\t10\.231\.6\.2$)");
    EXPECT_TRUE(hop1.match(l[0]).hasMatch()) << l[0].toStdString();
    EXPECT_TRUE(hop2.match(l[1]).hasMatch()) << l[1].toStdString();
    EXPECT_EQ(engine().HopNumber(), 3);
    EXPECT_EQ(page->ButtonPingPage->text(), "Ping");
}

TEST_F(PingPageHostsTest, TraceToANameThatDoesNotResolveEndsAfterOneHop) {
    // Looked up inside the client namespace, where no name server is
    // reachable: nothing leaves it.
    set("no-such-host.invalid", 4, 1, true);
    QSignalSpy probes(&engine(), &TPingPageEngine::ProbeStarted);
    ASSERT_TRUE(run(30000));
    EXPECT_EQ(probes.count(), 1);
    EXPECT_EQ(lines(), (QStringList{"Trace Failed!Trace Failed!Trace Failed!\t",
                                    "no-such-host.invalid : Host name could not be resolved."}));
}

TEST_F(PingPageHostsTest, AnEchoToANameThatDoesNotResolveSaysSo) {
    set("no-such-host.invalid", 1, 1);
    ASSERT_TRUE(run(30000));
    EXPECT_EQ(lines(), QStringList{"no-such-host.invalid : Host name could not be resolved."});
    EXPECT_EQ(engine().PacketCount(), 1);
}

TEST_F(PingPageHostsTest, TraceToASilentHopKeepsTheEventLoopAndTheCycleGoing) {
    // The monitoring cycle probes the answering host meanwhile, on its own
    // pinger, from the same namespace.
    TMonitorCycle& cycle = form->Session().Cycle();
    cycle.SetEcho(EchoFromNamespace(*hosts, "c"));
    TDeviceGrid& grid = form->Session().Grid();
    grid.SetGridHeader();
    std::array<QString, Col::Count> cells;
    cells[0] = "10.231.1.2";
    cells[1] = "answers";
    grid.AppendRow(cells);
    cycle.SetIntervals(100, 1);
    QSignalSpy echoes(&cycle, &TMonitorCycle::packetDone);
    cycle.ResumeBetweenDevices();
    // The first change is painted with fonts loaded on first use; that
    // one-time cost is not what this measures.
    ASSERT_TRUE(echoes.wait(5000));
    QTest::qWait(300);
    echoes.clear();

    set("10.231.2.2", 4, 1, true);
    QSignalSpy hopDone(&engine(), &TPingPageEngine::ProbeFinished);
    TStallMeter meter;
    page->ButtonPingPage->click();
    // One hop is three probes of a second each.
    ASSERT_TRUE(hopDone.wait(6000));
    meter.Stop();
    cycle.StopTimers();
    EXPECT_LT(meter.WorstGap(), 50)
        << "longest gap between two 10 ms ticks, " << meter.WorstAt() << " ms in";
    std::cout << "longest gap between 10 ms ticks: " << meter.WorstGap() << " ms\n";
    EXPECT_GE(echoes.count(), 2);
    EXPECT_EQ(grid.Cell(1, Col::Status), "Up");
    EXPECT_EQ(lines(), QStringList{"1\t*\t*\t*\t10.231.2.2 : Request timed out."});
    EXPECT_TRUE(engine().Running()); // a silent hop is not the end
    ASSERT_TRUE(stop(5000));
}

TEST_F(PingPageHostsTest, ATimeOutTextThatIsNoNumberWaitsFiveSeconds) {
    TIniFile settings(folder.file("other.ini"));
    TPingPageEngine other([&]() -> TIniFile& { return settings; });
    other.SetProbeWrapper(InClient());
    other.SetInputs([] {
        TPingInputs in;
        in.target = "10.231.2.2";
        in.timeOutText = "five";
        in.packets = 1;
        return in;
    });
    QElapsedTimer probe;
    QObject::connect(&other, &TPingPageEngine::ProbeStarted, &other, [&] { probe.start(); });
    qint64 took = -1;
    QObject::connect(&other, &TPingPageEngine::ProbeFinished, &other,
                     [&] { took = probe.elapsed(); });
    QSignalSpy ended(&other, &TPingPageEngine::RunEnded);
    other.ButtonPingPageClick();
    ASSERT_TRUE(ended.wait(10000));
    EXPECT_GE(took, 4900);
    EXPECT_LT(took, 6500);
    EXPECT_EQ(other.Output().Lines(), QStringList{"10.231.2.2 : Request timed out."});
    // The window's own page has its pinger and output untouched.
    EXPECT_TRUE(lines().isEmpty());
}

} // namespace
