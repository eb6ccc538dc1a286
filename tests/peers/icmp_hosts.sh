#!/usr/bin/env bash
# Test hosts for the ICMP tests, each in a network namespace of its own:
#
#   <p>-c  client    va 10.231.1.1  vs 10.231.2.1  vd 10.231.3.1  vr 10.231.4.1
#   <p>-a  answers   10.231.1.2
#   <p>-s  silent    10.231.2.2   (kernel echo replies off)
#   <p>-d  down/up   10.231.3.2   (the test takes its link down and back)
#   <p>-r  router    10.231.4.2, 10.231.6.1; routes for 10.231.5.0/24 (unreachable)
#                    and 10.231.7.0/24 (prohibit) answer with reports
#   <p>-h  behind r  10.231.6.2
#
# Every address lives inside these namespaces; nothing is added to the
# namespace the script is started from.
#
#   icmp_hosts.sh up <prefix>     create (after removing leftovers of <prefix>)
#   icmp_hosts.sh down <prefix>   remove
#   icmp_hosts.sh reap <base>     remove <base>-<pid>-* sets whose process is gone
set -euo pipefail

roles="c a s d r h"

down() {
    local p=$1 r
    for r in $roles; do
        ip netns del "$p-$r" 2>/dev/null || true
    done
}

reap() {
    local base=$1 ns pid
    for ns in $(ip netns list | awk '{print $1}'); do
        case $ns in "$base"-*-?) ;; *) continue ;; esac
        pid=${ns#"$base"-}
        pid=${pid%-?}
        [[ $pid =~ ^[0-9]+$ ]] || continue
        [ -d "/proc/$pid" ] || ip netns del "$ns" 2>/dev/null || true
    done
}

# link <ns> <ifname> <addr/len> <peer-ns> <peer-ifname> <peer-addr/len>
link() {
    ip -n "$1" link add "$2" type veth peer name "$5" netns "$4"
    ip -n "$1" addr add "$3" dev "$2"
    ip -n "$4" addr add "$6" dev "$5"
    ip -n "$1" link set "$2" up
    ip -n "$4" link set "$5" up
}

up() {
    local p=$1 r
    down "$p"
    for r in $roles; do
        ip netns add "$p-$r"
        ip -n "$p-$r" link set lo up
        # Reports are rate limited per peer, and the tests draw them in bursts.
        # (icmp_ratelimit=0 would not do: it empties the per-peer bucket that
        # the router's unreachable route draws on too.)
        ip netns exec "$p-$r" sysctl -qw net.ipv4.icmp_ratemask=0
    done
    link "$p-c" va 10.231.1.1/24 "$p-a" eth0 10.231.1.2/24
    link "$p-c" vs 10.231.2.1/24 "$p-s" eth0 10.231.2.2/24
    link "$p-c" vd 10.231.3.1/24 "$p-d" eth0 10.231.3.2/24
    link "$p-c" vr 10.231.4.1/24 "$p-r" eth0 10.231.4.2/24
    link "$p-r" eth1 10.231.6.1/24 "$p-h" eth0 10.231.6.2/24

    # The client may use unprivileged datagram ICMP sockets.
    ip netns exec "$p-c" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
    ip -n "$p-c" route add 10.231.5.0/24 via 10.231.4.2
    ip -n "$p-c" route add 10.231.6.0/24 via 10.231.4.2
    ip -n "$p-c" route add 10.231.7.0/24 via 10.231.4.2
    # The limited broadcast goes to the answering host only.
    ip -n "$p-c" route add 255.255.255.255/32 dev va
    # A neighbour that never answers ARP fails in well under a second.
    ip netns exec "$p-c" sysctl -qw net.ipv4.neigh.vd.mcast_solicit=2 \
        net.ipv4.neigh.vd.retrans_time_ms=200

    ip netns exec "$p-a" sysctl -qw net.ipv4.icmp_echo_ignore_broadcasts=0
    ip netns exec "$p-s" sysctl -qw net.ipv4.icmp_echo_ignore_all=1

    ip netns exec "$p-r" sysctl -qw net.ipv4.ip_forward=1
    ip -n "$p-r" route add unreachable 10.231.5.0/24
    ip -n "$p-r" route add prohibit 10.231.7.0/24
    ip -n "$p-r" route add 10.231.1.0/24 via 10.231.4.1
    ip -n "$p-h" route add default via 10.231.6.1
}

case ${1:-} in
up) up "$2" ;;
down) down "$2" ;;
reap) reap "$2" ;;
*)
    echo "usage: $0 up|down <prefix> | reap <base>" >&2
    exit 2
    ;;
esac
