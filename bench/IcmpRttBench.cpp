// How exactly TPinger reports round-trip times: against a responder that
// answers after a known delay, the reported time must be within 1 ms of that
// delay and of what iputils ping measures on the same path.
//
//   icmp_rtt_bench [probes]      (root: builds its own namespace hosts)
//
// Prints one row per delay and measuring program, then a verdict on the
// medians; exits 1 when one is outside the 1 ms bound.
#include "IcmpHosts.h"
#include "icmp/Pinger.h"

#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef VELMORA_RESPONDER
#error "VELMORA_RESPONDER must name the icmp_delay_responder program"
#endif

namespace {

const char* const target = "10.231.2.2"; // the silent host: its kernel never answers

struct TSeries {
    std::string source;
    std::vector<double> ms;
    double Min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
    double Max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
    double Avg() const {
        return ms.empty() ? 0 : std::accumulate(ms.begin(), ms.end(), 0.0) / double(ms.size());
    }
    double Median() const {
        if (ms.empty())
            return 0;
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
    int Within(double delay, double bound) const {
        return int(std::count_if(ms.begin(), ms.end(),
                                 [&](double v) { return std::abs(v - delay) <= bound; }));
    }
};

TSeries MeasurePinger(const TIcmpHosts& hosts, TIcmpSocketChoice choice, int probes) {
    TSeries s{choice == TIcmpSocketChoice::RawOnly ? "TPinger raw" : "TPinger datagram", {}};
    hosts.OnThreadIn("c", [&] {
        TPinger p;
        p.Host = target;
        p.TimeOut = 2;
        p.SocketChoice = choice;
        for (int i = 0; i < probes; ++i) {
            p.Echo();
            if (p.Replied)
                s.ms.push_back(double(p.RoundTripTime));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    return s;
}

TSeries MeasurePing(const TIcmpHosts& hosts, int probes) {
    TSeries s{"iputils ping", {}};
    std::string command = "ip netns exec " + hosts.Namespace("c") + " ping -n -c " +
                          std::to_string(probes) + " -i 0.2 -W 2 " + target + " 2>&1";
    FILE* f = ::popen(command.c_str(), "r");
    if (!f)
        return s;
    static const QRegularExpression time(QStringLiteral(R"(time=([0-9.]+) ms)"));
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        auto m = time.match(QString::fromLatin1(line));
        if (m.hasMatch())
            s.ms.push_back(m.captured(1).toDouble());
    }
    ::pclose(f);
    return s;
}

} // namespace

int main(int argc, char** argv) {
    int probes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    TIcmpHosts hosts("vm-icmp-bench");
    if (!hosts.problem().empty()) {
        std::fprintf(stderr, "cannot build the test hosts: %s\n", hosts.problem().c_str());
        return 2;
    }
    bool ok = true;
    std::printf("%-6s %-17s %3s %8s %8s %8s %8s %10s\n", "delay", "measured by", "n", "min",
                "median", "avg", "max", "<=1ms off");
    for (int delay : {20, 100}) {
        int responder = hosts.StartIn("s", VELMORA_RESPONDER, std::to_string(delay));
        if (responder < 0) {
            std::fprintf(stderr, "responder did not start\n");
            return 2;
        }
        std::vector<TSeries> rows = {MeasurePinger(hosts, TIcmpSocketChoice::DatagramOnly, probes),
                                     MeasurePinger(hosts, TIcmpSocketChoice::RawOnly, probes),
                                     MeasurePing(hosts, probes)};
        TIcmpHosts::Stop(responder);

        // Single probes also carry the scheduling delays of a busy machine
        // (the responder's and ping's alike), so the verdict is on medians.
        const TSeries& ping = rows.back();
        for (const TSeries& s : rows) {
            std::printf("%-6d %-17s %3zu %8.3f %8.3f %8.3f %8.3f %6d/%-3zu\n", delay,
                        s.source.c_str(), s.ms.size(), s.Min(), s.Median(), s.Avg(), s.Max(),
                        s.Within(delay, 1.0), s.ms.size());
            if (&s == &ping)
                continue; // ping is the yardstick, not under test
            if (int(s.ms.size()) != probes) {
                std::printf("  ^ %s: %zu of %d probes answered\n", s.source.c_str(), s.ms.size(),
                            probes);
                ok = false;
            }
            if (std::abs(s.Median() - delay) > 1.0 || std::abs(s.Median() - ping.Median()) > 1.0) {
                std::printf("  ^ %s: median %.3f ms is more than 1 ms from the delay or from "
                            "ping's %.3f ms\n",
                            s.source.c_str(), s.Median(), ping.Median());
                ok = false;
            }
        }
    }
    std::printf("%s\n", ok ? "within 1 ms of the delay and of ping: yes"
                           : "within 1 ms of the delay and of ping: NO");
    return ok ? 0 : 1;
}
