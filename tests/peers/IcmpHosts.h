#pragma once

#include <functional>
#include <string>

// The namespace test hosts of icmp_hosts.sh, created for the life of one
// object and named after this process, so that test processes running side
// by side never share them and a crashed run's leftovers are recognised.
class TIcmpHosts {
public:
    // `base` names the set (e.g. "vm-icmp"); the namespaces become
    // <base>-<pid>-<role>. Leftovers of dead processes are removed first.
    explicit TIcmpHosts(const std::string& base);
    ~TIcmpHosts();
    TIcmpHosts(const TIcmpHosts&) = delete;
    TIcmpHosts& operator=(const TIcmpHosts&) = delete;

    // Empty when the hosts are up; otherwise why not (for GTEST_SKIP/FAIL).
    const std::string& problem() const { return failure; }

    // Full namespace name of a role: "c", "a", "s", "d", "r", "h".
    std::string Namespace(const std::string& role) const { return prefix + "-" + role; }

    // Runs a shell command; true when it exits with 0.
    static bool Run(const std::string& command);
    // Runs `command` inside the namespace of `role`.
    bool RunIn(const std::string& role, const std::string& command) const;

    // Runs `work` on a thread that has joined the namespace of `role`; only
    // that thread's sockets live there. Returns false when joining failed.
    bool OnThreadIn(const std::string& role, const std::function<void()>& work) const;

    // Starts `program` with `argument` inside the namespace of `role` and
    // returns its pid once it has printed a line starting with "ready", or -1.
    int StartIn(const std::string& role, const std::string& program,
                const std::string& argument) const;
    // Ends a program from StartIn and waits for it.
    static void Stop(int pid);

    // Why the hosts cannot be made here at all (not root, no ip tool), or empty.
    static std::string Unavailable();

private:
    std::string script;
    std::string base;
    std::string prefix;
    std::string failure;
};
