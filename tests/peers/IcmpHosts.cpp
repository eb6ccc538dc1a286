#include "IcmpHosts.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef VELMORA_PEERS_DIR
#error "VELMORA_PEERS_DIR must name tests/peers"
#endif

TIcmpHosts::TIcmpHosts(const std::string& base_)
    : script(std::string(VELMORA_PEERS_DIR) + "/icmp_hosts.sh"), base(base_),
      prefix(base_ + "-" + std::to_string(::getpid())) {
    failure = Unavailable();
    if (!failure.empty())
        return;
    Run(script + " reap " + base);
    if (!Run(script + " up " + prefix + " >/dev/null"))
        failure = "icmp_hosts.sh up " + prefix + " failed";
}

TIcmpHosts::~TIcmpHosts() {
    if (Unavailable().empty())
        Run(script + " down " + prefix);
}

bool TIcmpHosts::Run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

bool TIcmpHosts::RunIn(const std::string& role, const std::string& command) const {
    return Run("ip netns exec " + Namespace(role) + " " + command);
}

bool TIcmpHosts::OnThreadIn(const std::string& role, const std::function<void()>& work) const {
    bool joined = false;
    std::string path = "/run/netns/" + Namespace(role);
    std::thread worker([&] {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        // A network namespace is per thread; the rest of the process stays put.
        joined = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        if (joined)
            work();
    });
    worker.join();
    return joined;
}

int TIcmpHosts::StartIn(const std::string& role, const std::string& program,
                        const std::string& argument) const {
    std::string ns = Namespace(role);
    int out[2];
    if (::pipe(out) != 0)
        return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        // ip netns exec replaces itself with the program, so pid is its pid.
        ::execlp("ip", "ip", "netns", "exec", ns.c_str(), program.c_str(), argument.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char line[16] = {};
    ssize_t n = pid > 0 ? ::read(out[0], line, sizeof line - 1) : -1;
    ::close(out[0]);
    if (n <= 0 || std::string(line).rfind("ready", 0) != 0) {
        Stop(pid);
        return -1;
    }
    return pid;
}

void TIcmpHosts::Stop(int pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

std::string TIcmpHosts::Unavailable() {
    if (::geteuid() != 0)
        return "network namespaces need root";
    if (!Run("command -v ip >/dev/null 2>&1"))
        return "the ip tool (iproute2) is missing";
    return {};
}
