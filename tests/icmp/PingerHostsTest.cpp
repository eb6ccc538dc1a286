// TPinger against real hosts in network namespaces of this test (see
// tests/peers/icmp_hosts.sh for who is who). The probes run on threads that
// joined the client namespace, so all traffic stays between our namespaces.
#include "IcmpHosts.h"
#include "QtPrinters.h"
#include "icmp/Pinger.h"

#include <QRegularExpression>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <memory>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

std::unique_ptr<TIcmpHosts> hosts;

long long MsSince(SteadyClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - t).count();
}

// The delaying responder in the silent host for the life of the object, so
// that a failed assertion does not leave it running (holding ctest's pipe).
struct TResponder {
    explicit TResponder(int delayMs)
        : pid(hosts->StartIn("s", VELMORA_RESPONDER, std::to_string(delayMs))) {}
    ~TResponder() { TIcmpHosts::Stop(pid); }
    TResponder(const TResponder&) = delete;
    TResponder& operator=(const TResponder&) = delete;
    int pid;
};

const QRegularExpression
    replyLine(QStringLiteral(R"(^Reply from ([0-9.]+): bytes=(\d+) time=(\d+)ms TTL=(\d+)$)"));

class PingerHosts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (TIcmpHosts::Unavailable().empty())
            hosts = std::make_unique<TIcmpHosts>("vm-icmp");
    }
    static void TearDownTestSuite() { hosts.reset(); }

    void SetUp() override {
        std::string why = TIcmpHosts::Unavailable();
        if (!why.empty())
            GTEST_SKIP() << why;
        ASSERT_TRUE(hosts->problem().empty()) << hosts->problem();
    }

    // Runs `work` on a thread inside the client namespace.
    void InClient(const std::function<void()>& work) {
        ASSERT_TRUE(hosts->OnThreadIn("c", work)) << "cannot join " << hosts->Namespace("c");
    }
};

class PingerSockets : public PingerHosts, public ::testing::WithParamInterface<TIcmpSocketChoice> {
protected:
    TPinger Pinger(const char* host, int timeOut) {
        TPinger p;
        p.Host = QString::fromLatin1(host);
        p.TimeOut = timeOut;
        p.SocketChoice = GetParam();
        return p;
    }
};

} // namespace

TEST_P(PingerSockets, AnsweringAndSilentHosts) {
    TPinger p = Pinger("10.231.1.2", 5);
    bool sent = false;
    InClient([&] { sent = p.Echo(); });
    EXPECT_TRUE(sent);
    EXPECT_TRUE(p.Replied);
    EXPECT_TRUE(p.Messages.isEmpty()) << p.Messages.join('|').toStdString();
    auto reply = replyLine.match(p.ReplyText);
    ASSERT_TRUE(reply.hasMatch()) << p.ReplyText.toStdString();
    EXPECT_EQ(reply.captured(1), "10.231.1.2");
    EXPECT_EQ(reply.captured(2), "32");
    EXPECT_EQ(reply.captured(3).toUInt(), p.RoundTripTime);
    EXPECT_EQ(reply.captured(4), "64");

    // Via the router the reply arrives with one hop used up.
    p.Host = "10.231.6.2";
    InClient([&] { sent = p.Echo(); });
    EXPECT_TRUE(p.Replied);
    EXPECT_TRUE(p.ReplyText.startsWith("Reply from 10.231.6.2: bytes=32 time="))
        << p.ReplyText.toStdString();
    EXPECT_TRUE(p.ReplyText.endsWith("ms TTL=63")) << p.ReplyText.toStdString();

    p.Host = "10.231.2.2";
    p.TimeOut = 1;
    p.RoundTripTime = 4321; // must survive an unanswered echo
    auto start = SteadyClock::now();
    InClient([&] { sent = p.Echo(); });
    long long waited = MsSince(start);
    EXPECT_TRUE(sent);
    EXPECT_FALSE(p.Replied);
    EXPECT_TRUE(p.ReplyText.isEmpty());
    EXPECT_EQ(p.Messages, QStringList{"10.231.2.2 : Request timed out."});
    EXPECT_EQ(p.RoundTripTime, 4321u);
    EXPECT_GE(waited, 1000);
    EXPECT_LT(waited, 1500);
}

TEST_P(PingerSockets, ReportsOfUnreachableAreNoAnswer) {
    // The router has an unreachable route for 10.231.5.0/24 and a prohibit
    // route for 10.231.7.0/24.
    TPinger p = Pinger("10.231.5.2", 5);
    p.RoundTripTime = 4321;
    bool sent = false;
    auto start = SteadyClock::now();
    InClient([&] { sent = p.Echo(); });
    EXPECT_LT(MsSince(start), 2000) << "the report must end the wait";
    EXPECT_TRUE(sent);
    EXPECT_FALSE(p.Replied);
    EXPECT_TRUE(p.ReplyText.isEmpty());
    EXPECT_EQ(p.RoundTripTime, 4321u);
    EXPECT_EQ(p.Messages,
              QStringList{"10.231.5.2 : Destination host unreachable reported by 10.231.4.2."});

    // A prohibit route: another code, and on a raw socket one that also
    // sets the socket's pending error.
    p.Host = "10.231.7.2";
    start = SteadyClock::now();
    InClient([&] { sent = p.Echo(); });
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_TRUE(sent);
    EXPECT_FALSE(p.Replied);
    EXPECT_EQ(p.Messages, QStringList{"10.231.7.2 : Communication administratively prohibited "
                                      "reported by 10.231.4.2."});

    // A neighbour that never answers ARP: this host itself reports it.
    p.Host = "10.231.3.99";
    InClient([&] { sent = p.Echo(); });
    EXPECT_TRUE(sent);
    EXPECT_FALSE(p.Replied);
    EXPECT_EQ(p.Messages,
              QStringList{"10.231.3.99 : Destination host unreachable reported by 10.231.3.1."});
}

TEST_P(PingerSockets, TraceHops) {
    TPinger p = Pinger("10.231.6.2", 2);
    const QRegularExpression msLine(QStringLiteral(R"(^\d+ ms$)"));
    struct Case {
        const char* host;
        quint8 ttl;
        bool replied;
        const char* line0;
    };
    const Case cases[] = {
        {"10.231.6.2", 1, true, "10.231.4.2"},  // time exceeded at the router
        {"10.231.6.2", 2, true, "10.231.6.2"},  // the echo reply itself
        {"10.231.5.2", 64, true, "10.231.4.2"}, // an unreachable report counts here
        {"10.231.2.2", 64, false, "10.231.2.2 : Request timed out."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host + std::string(" ttl ") + std::to_string(c.ttl));
        p.Host = c.host;
        p.TTL = c.ttl;
        p.TimeOut = c.replied ? 2 : 1;
        bool sent = false;
        InClient([&] { sent = p.TraceHop(); });
        EXPECT_TRUE(sent);
        EXPECT_EQ(p.Replied, c.replied);
        ASSERT_EQ(p.Messages.size(), 2) << p.Messages.join('|').toStdString();
        EXPECT_EQ(p.Messages[0], c.line0);
        if (c.replied)
            EXPECT_TRUE(msLine.match(p.Messages[1]).hasMatch()) << p.Messages[1].toStdString();
        else
            EXPECT_EQ(p.Messages[1], "*");
        EXPECT_TRUE(p.ReplyText.isEmpty());
    }
}

TEST_P(PingerSockets, PacketSizeIsClampedAndSent) {
    const std::pair<qint32, qint32> cases[] = {{0, 1}, {70000, 65500}, {1000, 1000}};
    for (auto [asked, sentSize] : cases) {
        TPinger p = Pinger("10.231.1.2", 3);
        p.PacketSize = asked;
        InClient([&] { p.Echo(); });
        EXPECT_EQ(p.PacketSize, sentSize);
        EXPECT_TRUE(p.Replied) << asked;
        EXPECT_TRUE(p.ReplyText.contains(QStringLiteral(": bytes=%1 time=").arg(sentSize)))
            << p.ReplyText.toStdString();
    }
}

TEST_P(PingerSockets, LimitedBroadcast) {
    // The echo goes out (and the answering host replies from its own
    // address); a trace hop refuses the all-ones address.
    TPinger p = Pinger("255.255.255.255", 2);
    bool sent = false, traced = true;
    InClient([&] {
        sent = p.Echo();
        traced = p.TraceHop();
    });
    EXPECT_TRUE(sent);
    EXPECT_FALSE(traced);
    EXPECT_FALSE(p.Replied);
    EXPECT_TRUE(p.Messages.isEmpty());

    InClient([&] { p.Echo(); });
    EXPECT_TRUE(p.ReplyText.startsWith("Reply from 10.231.1.2: bytes=32"))
        << p.ReplyText.toStdString();
}

TEST_P(PingerSockets, ConcurrentProbesKeepTheirOwnReplies) {
    // One pinger probes the answering host as fast as it can, another the
    // silent one, while iputils ping floods the answering host and draws
    // unreachable reports (from this host's failed ARP lookups, which are not
    // rate limited like a router's). With raw sockets every process sees
    // every ICMP packet, so any mix-up shows as a reply for the silent probe
    // or a foreign reply line.
    std::atomic<bool> done{false};
    int busyProbes = 0, busyReplied = 0;
    QStringList wrongLines;
    std::thread busy([&] {
        TPinger p = Pinger("10.231.1.2", 2);
        hosts->OnThreadIn("c", [&] {
            while (!done) {
                p.Echo();
                ++busyProbes;
                if (p.Replied)
                    ++busyReplied;
                if (!p.ReplyText.startsWith("Reply from 10.231.1.2: bytes=32 "))
                    wrongLines << p.ReplyText + p.Messages.join('|');
            }
        });
    });
    std::thread flood(
        [&] { hosts->RunIn("c", "ping -q -c 100 -i 0.01 -w 2 10.231.1.2 >/dev/null 2>&1"); });
    std::thread reports(
        [&] { hosts->RunIn("c", "ping -q -c 20 -i 0.05 -w 2 10.231.3.99 >/dev/null 2>&1"); });

    TPinger silent = Pinger("10.231.2.2", 1);
    int silentReplies = 0;
    InClient([&] {
        for (int i = 0; i < 2; ++i) {
            silent.Echo();
            silentReplies += silent.Replied ? 1 : 0;
        }
    });
    done = true;
    busy.join();
    flood.join();
    reports.join();

    EXPECT_EQ(silentReplies, 0);
    EXPECT_EQ(silent.Messages, QStringList{"10.231.2.2 : Request timed out."});
    EXPECT_GT(busyProbes, 10);
    EXPECT_EQ(busyReplied, busyProbes);
    EXPECT_TRUE(wrongLines.isEmpty()) << wrongLines.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Sockets, PingerSockets,
                         ::testing::Values(TIcmpSocketChoice::DatagramOnly,
                                           TIcmpSocketChoice::RawOnly),
                         [](const auto& info) {
                             return info.param == TIcmpSocketChoice::RawOnly ? "Raw" : "Datagram";
                         });

TEST_F(PingerHosts, HostTakenDownAndBack) {
    TPinger p;
    p.Host = "10.231.3.2";
    p.TimeOut = 1;
    InClient([&] { p.Echo(); });
    ASSERT_TRUE(p.Replied) << p.Messages.join('|').toStdString();

    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 down"));
    InClient([&] { p.Echo(); });
    EXPECT_FALSE(p.Replied);
    EXPECT_EQ(p.Messages.size(), 1) << p.Messages.join('|').toStdString();

    ASSERT_TRUE(hosts->RunIn("d", "ip link set eth0 up"));
    // Our own side down: no route, so nothing can be sent.
    ASSERT_TRUE(hosts->RunIn("c", "ip link set vd down"));
    bool sent = true;
    InClient([&] { sent = p.Echo(); });
    EXPECT_FALSE(sent);
    EXPECT_FALSE(p.Replied);
    EXPECT_EQ(p.Messages,
              QStringList{"10.231.3.2 : Request could not be sent: Network is unreachable."});
    ASSERT_TRUE(hosts->RunIn("c", "ip link set vd up"));
    // The link needs a moment; a few probes are allowed.
    for (int i = 0; i < 5 && !p.Replied; ++i)
        InClient([&] { p.Echo(); });
    EXPECT_TRUE(p.Replied) << p.Messages.join('|').toStdString();
    EXPECT_TRUE(p.ReplyText.startsWith("Reply from 10.231.3.2: ")) << p.ReplyText.toStdString();
}

TEST_F(PingerHosts, UnresolvableHostLeavesEverythingEmpty) {
    TPinger p;
    p.Host = "10.231.1.2";
    InClient([&] { p.Echo(); });
    ASSERT_TRUE(p.Replied);
    // The client namespace has no route to any name server, so the lookup
    // fails without leaving our namespaces.
    p.Host = "no-such-host.invalid";
    bool sent = true, traced = true;
    InClient([&] {
        sent = p.Echo();
        traced = p.TraceHop();
    });
    EXPECT_FALSE(sent);
    EXPECT_FALSE(traced);
    EXPECT_FALSE(p.Replied);
    EXPECT_TRUE(p.ReplyText.isEmpty());
    EXPECT_TRUE(p.Messages.isEmpty()) << p.Messages.join('|').toStdString();
}

namespace {
// Capabilities belong to the thread, so this leaves the rest of the test alone.
bool DropNetRawOnThisThread() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    data[CAP_TO_INDEX(CAP_NET_RAW)].effective &= ~CAP_TO_MASK(CAP_NET_RAW);
    return ::syscall(SYS_capset, &header, data) == 0;
}
} // namespace

TEST_F(PingerHosts, NoIcmpSocketTellsWhatIsMissing) {
    // Namespace "a" keeps the default ping_group_range, which admits nobody.
    TPinger p;
    p.Host = "10.231.1.2";
    bool dropped = false, sent = true;
    ASSERT_TRUE(hosts->OnThreadIn("a", [&] {
        dropped = DropNetRawOnThisThread();
        if (dropped)
            sent = p.Echo();
    }));
    ASSERT_TRUE(dropped);
    EXPECT_FALSE(sent);
    EXPECT_FALSE(p.Replied);
    ASSERT_EQ(p.Messages.size(), 2);
    EXPECT_EQ(p.Messages[0], "Invalid ICMP Handle");
    EXPECT_EQ(p.Messages[1], TPinger::SocketFailureText(EACCES, EPERM));
    EXPECT_TRUE(p.Messages[1].contains("setcap cap_net_raw+ep")) << p.Messages[1].toStdString();
}

TEST_F(PingerHosts, LoopbackWithTheSocketThatOpens) {
    TPinger p;
    p.Host = "127.0.0.1";
    EXPECT_TRUE(p.Echo());
    EXPECT_TRUE(p.Replied) << p.Messages.join('|').toStdString();
    EXPECT_TRUE(p.ReplyText.startsWith("Reply from 127.0.0.1: bytes=32 time="))
        << p.ReplyText.toStdString();
}

TEST_F(PingerHosts, RoundTripTimeCoversTheResponderDelay) {
    // The silent host's kernel never answers; this responder answers after
    // 100 ms. The time cannot come out shorter than the delay (the upper
    // bound is loose on purpose: the RTT figures are the benchmark's job).
    TResponder responder(100);
    ASSERT_GT(responder.pid, 0) << "icmp_delay_responder did not start";
    TPinger p;
    p.Host = "10.231.2.2";
    p.TimeOut = 2;
    QStringList lines;
    InClient([&] {
        for (TIcmpSocketChoice choice :
             {TIcmpSocketChoice::DatagramOnly, TIcmpSocketChoice::RawOnly}) {
            p.SocketChoice = choice;
            p.Echo();
            lines << (p.Replied ? p.ReplyText : p.Messages.join('|'));
        }
    });
    ASSERT_EQ(lines.size(), 2);
    for (const QString& line : lines) {
        auto reply = replyLine.match(line);
        ASSERT_TRUE(reply.hasMatch()) << line.toStdString();
        EXPECT_GE(reply.captured(3).toInt(), 100) << line.toStdString();
        EXPECT_LT(reply.captured(3).toInt(), 1000) << line.toStdString();
    }
}

TEST_P(PingerSockets, AThreadWokenLateStillTimesTheNetwork) {
    // On a busy machine the probing thread gets the processor some time after
    // the reply arrived; that wait is not network time. Each wake-up here is
    // held for 400 ms before the reply is read, far more than the slack.
    // One pinger serves all probes, with pauses between them as the cycle
    // makes them, long enough for the kernel to stop stamping packets when
    // nothing asks for it between probes.
    static constexpr int late = 400, slack = 150, delay = 100, pause = 300;
    TResponder responder(delay);
    ASSERT_GT(responder.pid, 0) << "icmp_delay_responder did not start";
    struct Case {
        const char* host;
        quint8 ttl; // 0: an echo, else a trace hop
        int network;
    };
    const Case cases[] = {
        {"10.231.2.2", 0, delay},  // the responder's late echo reply
        {"10.231.1.2", 0, 0},      // the kernel's own reply
        {"10.231.6.2", 1, 0},      // time exceeded at the router
        {"10.231.5.2", 64, 0},     // unreachable (a datagram socket's error queue)
        {"10.231.2.2", 64, delay}, // the echo reply of a trace hop
        {"10.231.1.2", 64, 0},     // the kernel's reply to a trace hop
    };
    TPinger p = Pinger("", 2);
    p.BeforeReading = [] { std::this_thread::sleep_for(std::chrono::milliseconds(late)); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host + std::string(c.ttl ? " trace hop" : " echo"));
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        p.Host = c.host;
        p.TTL = c.ttl;
        long long waited = -1;
        InClient([&] {
            auto start = SteadyClock::now();
            c.ttl ? p.TraceHop() : p.Echo();
            waited = MsSince(start);
        });
        ASSERT_TRUE(p.Replied) << p.Messages.join('|').toStdString();
        ASSERT_GE(waited, late) << "the seam did not hold the wake-up";
        int rtt = -1;
        if (c.ttl) {
            ASSERT_EQ(p.Messages.size(), 2);
            ASSERT_TRUE(p.Messages[1].endsWith(" ms")) << p.Messages.join('|').toStdString();
            rtt = p.Messages[1].chopped(3).toInt();
        } else {
            rtt = int(p.RoundTripTime);
        }
        EXPECT_GE(rtt, c.network);
        EXPECT_LT(rtt, c.network + slack);
    }
}

TEST_P(PingerSockets, WaitingDoesNotSpinOnForeignReports) {
    // While one probe waits out its time-out at the silent host, another
    // draws "prohibited" reports, which wake every raw ICMP socket (and
    // raise its pending error). The wait must go back to sleep, not spin.
    std::atomic<bool> done{false};
    std::thread other([&] {
        TPinger p = Pinger("10.231.7.2", 1);
        hosts->OnThreadIn("c", [&] {
            for (int i = 0; i < 3 && !done; ++i) {
                p.Echo();
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    });
    TPinger silent = Pinger("10.231.2.2", 1);
    long cpuMs = -1;
    InClient([&] {
        timespec before{}, after{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
        silent.Echo();
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
        cpuMs = (after.tv_sec - before.tv_sec) * 1000 + (after.tv_nsec - before.tv_nsec) / 1000000;
    });
    done = true;
    other.join();
    EXPECT_EQ(silent.Messages, QStringList{"10.231.2.2 : Request timed out."});
    EXPECT_LT(cpuMs, 200) << "CPU time spent waiting one second";
}
