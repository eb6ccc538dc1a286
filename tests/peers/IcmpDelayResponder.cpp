// Answers ICMP echo requests after a fixed delay, for measuring how exactly a
// pinger reports round-trip times. Runs in a namespace whose kernel echo
// replies are switched off (net.ipv4.icmp_echo_ignore_all=1), so its replies
// are the only ones.
//
//   icmp_delay_responder <delay-ms>
//
// Prints "ready" once it listens; stops on SIGTERM or SIGINT.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopping = 0;
void Stop(int) {
    stopping = 1;
}

unsigned short Checksum(const unsigned char* p, size_t n) {
    unsigned long sum = 0;
    for (size_t i = 0; i + 1 < n; i += 2)
        sum += (p[i] << 8) | p[i + 1];
    if (n & 1)
        sum += p[n - 1] << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<unsigned short>(~sum);
}

struct Pending {
    Clock::time_point due;
    sockaddr_in to;
    std::vector<unsigned char> reply;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <delay-ms>\n", argv[0]);
        return 2;
    }
    const auto delay = std::chrono::milliseconds(std::atoi(argv[1]));
    int fd = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    if (fd < 0) {
        std::perror("raw ICMP socket");
        return 1;
    }
    icmp_filter filter{};
    filter.data = ~(1u << ICMP_ECHO);
    ::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    // Best effort: a real-time slot keeps the machine's other load out of the
    // delay being measured. It sleeps nearly all the time, so this is cheap.
    sched_param priority{};
    priority.sched_priority = 10;
    ::sched_setscheduler(0, SCHED_FIFO, &priority);
    std::signal(SIGTERM, Stop);
    std::signal(SIGINT, Stop);
    std::printf("ready\n");
    std::fflush(stdout);

    std::deque<Pending> queue; // one delay for all, so arrival order is due order
    std::vector<unsigned char> buffer(65536);
    while (!stopping) {
        // Wait for a request or until the next reply is due, to the nanosecond.
        timespec ts{};
        timespec* tsp = nullptr;
        if (!queue.empty()) {
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(queue.front().due -
                                                                           Clock::now())
                          .count();
            if (ns < 0)
                ns = 0;
            ts.tv_sec = ns / 1000000000;
            ts.tv_nsec = ns % 1000000000;
            tsp = &ts;
        }
        pollfd p{fd, POLLIN, 0};
        int ready = ::ppoll(&p, 1, tsp, nullptr);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (p.revents & POLLIN)) {
            sockaddr_in from{};
            socklen_t fromLen = sizeof from;
            ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n >= 20) {
                size_t ihl = size_t(buffer[0] & 0x0F) * 4;
                if (size_t(n) >= ihl + 8 && buffer[ihl] == ICMP_ECHO) {
                    Pending r{
                        Clock::now() + delay, from,
                        std::vector<unsigned char>(buffer.begin() + long(ihl), buffer.begin() + n)};
                    r.reply[0] = ICMP_ECHOREPLY;
                    r.reply[2] = r.reply[3] = 0;
                    unsigned short sum = Checksum(r.reply.data(), r.reply.size());
                    r.reply[2] = static_cast<unsigned char>(sum >> 8);
                    r.reply[3] = static_cast<unsigned char>(sum & 0xFF);
                    queue.push_back(std::move(r));
                }
            }
        }
        while (!queue.empty() && queue.front().due <= Clock::now()) {
            Pending& r = queue.front();
            ::sendto(fd, r.reply.data(), r.reply.size(), 0, reinterpret_cast<sockaddr*>(&r.to),
                     sizeof r.to);
            queue.pop_front();
        }
    }
    ::close(fd);
    return 0;
}
