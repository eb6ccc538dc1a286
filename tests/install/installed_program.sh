#!/usr/bin/env bash
# The installed program run from a prefix it cannot write: its files go to
# the per-user XDG folders, created owner-only, and nothing appears beside
# the executable. As root (CI) the program runs as the ordinary user
# `nobody`, since a read-only mode bit does not stop root; as an ordinary
# user the prefix is made read-only instead. A settings file beside the
# program still wins.
set -u
build=$1
dir=$(mktemp -d)
chmod 755 "$dir"
p=$dir/prefix
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    chmod -R u+w "$dir" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
status=0
fail() { echo "FAIL $*"; status=1; }

cmake --install "$build" --prefix "$p" >"$dir/install.log" 2>&1 ||
    { cat "$dir/install.log"; echo "FAIL cmake --install"; exit 1; }
mkdir "$dir/user"
if [ "$(id -u)" -eq 0 ]; then
    uid=$(id -u nobody) gid=$(id -g nobody)
    chown "$uid:$gid" "$dir/user"
    as_user=(setpriv --reuid="$uid" --regid="$gid" --clear-groups --)
else
    chmod -R a-w "$p"
    as_user=()
fi
u=$dir/user

# Up to 10 s for a condition.
wait_for() {
    for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
    return 1
}
# Starts a command in the background with its output in $dir/out.
start() {
    "$@" >"$dir/out" 2>&1 </dev/null &
    pid=$!
}
# SIGTERM closes it through its close rule; it must end with status 0.
stop() {
    local what=$1
    kill -TERM "$pid" 2>/dev/null
    wait_for eval '! kill -0 "$pid" 2>/dev/null' ||
        { fail "$what: SIGTERM did not end it"; kill -KILL "$pid"; }
    wait "$pid"
    local rc=$?
    pid=
    [ "$rc" -eq 0 ] || { fail "$what: exit status $rc"; cat "$dir/out"; }
}
beside() { ls -A "$1"; }
mode() { stat -c %a "$1" 2>/dev/null; }

before=$(beside "$p/bin")
# The program as the user starts it, with no display but the offscreen one.
run=("${as_user[@]}" env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CONFIG_HOME -u XDG_DATA_HOME
    QT_QPA_PLATFORM=offscreen)

# 1. The window, with the XDG folders set: the settings folder (with the
# lock of the settings file) appears there, owner-only.
start "${run[@]}" XDG_CONFIG_HOME="$u/config" XDG_DATA_HOME="$u/data" HOME="$u/home" "$p/bin/velmora"
if wait_for test -e "$u/config/velmora/velmora.ini.lock"; then
    [ "$(mode "$u/config/velmora")" = 700 ] ||
        fail "window: settings folder mode $(mode "$u/config/velmora")"
else
    fail "window: no lock in \$XDG_CONFIG_HOME/velmora"; cat "$dir/out"
fi
stop window
[ "$(beside "$p/bin")" = "$before" ] || fail "window: wrote beside the program: $(beside "$p/bin")"

# 2. Without XDG variables: ~/.config/velmora, and ~/.config made owner-only
# when the program creates it.
start "${run[@]}" HOME="$u/home2" "$p/bin/velmora-headless"
if wait_for test -e "$u/home2/.config/velmora/velmora.ini.lock"; then
    [ "$(mode "$u/home2/.config")" = 700 ] || fail "headless: ~/.config mode"
    [ "$(mode "$u/home2/.config/velmora")" = 700 ] || fail "headless: ~/.config/velmora mode"
else
    fail "headless: no lock in ~/.config/velmora"; cat "$dir/out"
fi
stop headless
[ "$(beside "$p/bin")" = "$before" ] || fail "headless: wrote beside the program"

# 3. A lone copy in a folder the user cannot write, outside any prefix.
mkdir "$dir/lone"
cp "$p/bin/velmora-headless" "$dir/lone/"
[ "$(id -u)" -eq 0 ] || chmod a-w "$dir/lone"
start "${run[@]}" XDG_CONFIG_HOME="$u/lone-config" HOME="$u/home" "$dir/lone/velmora-headless"
wait_for test -e "$u/lone-config/velmora/velmora.ini.lock" ||
    { fail "lone copy: no lock in \$XDG_CONFIG_HOME/velmora"; cat "$dir/out"; }
stop "lone copy"
[ "$(beside "$dir/lone")" = velmora-headless ] || fail "lone copy: wrote beside the program"

# 4. Publishing on a schedule of every tick: the pages are written in
# $XDG_DATA_HOME/velmora, and both steps find them there: the copy step
# copies them, and the FTP step uploads them to a real FTP server
# (python3-pyftpdlib, when installed) on loopback.
web=$u/web
mkdir -p "$web/config/velmora" "$web/copy" "$web/ftp"
ftp_port=0 ftp_pid= py=
for candidate in /usr/bin/python3 python3; do
    "$candidate" -c 'import pyftpdlib' 2>/dev/null && { py=$candidate; break; }
done
if [ -n "$py" ]; then
    ftp_port=$("$py" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$py" "$(dirname "$0")/../peers/pyftpdlib_server.py" 127.0.0.1 "$ftp_port" "$web/ftp" \
        velmora s3cret >"$dir/ftp.log" 2>&1 &
    ftp_pid=$!
    wait_for "$py" -c "import socket; socket.create_connection(('127.0.0.1', $ftp_port))" 2>/dev/null ||
        fail "web: the FTP server did not start"
fi
use_ftp=0
[ "$ftp_port" -ne 0 ] && use_ftp=1
[ "$use_ftp" -eq 1 ] || echo "web: python3-pyftpdlib is not installed; the FTP step goes unchecked"
printf '%s\r\n' '[DNS Settings]' 'DNS-0=127.0.0.1' '[Web Page Settings]' \
    'WebPageCheckBoxVelmora=1' 'WebPageEditHours=0' 'WebPageEditMin=0' \
    "CheckBoxWebPageFTP=$use_ftp" 'EditWebPageFTPHost=127.0.0.1' "EditWebPageFTPPort=$ftp_port" \
    'EditWebPageFTPUserID=velmora' 'EditWebPageFTPPassword=s3cret' \
    'CheckBoxWebPageLocalDrive=1' "EditWebPageDrivePath=$web/copy" >"$web/config/velmora/velmora.ini"
[ "$(id -u)" -eq 0 ] && chown -R "$uid:$gid" "$web"
start "${run[@]}" XDG_CONFIG_HOME="$web/config" XDG_DATA_HOME="$web/data" HOME="$u/home" \
    "$p/bin/velmora-headless"
pages=$web/data/velmora
copied() { [ -s "$web/copy/index.htm" ] && [ -s "$web/copy/velmora.htm" ] && [ -s "$web/copy/velmoralog.htm" ]; }
wait_for copied || fail "web: the pages were not copied"
grep -q "^Transfer Log: $pages/index.htm created." "$dir/out" ||
    fail "web: no index page written in \$XDG_DATA_HOME/velmora"
grep -q "HTML [Ff]iles do not exist" "$dir/out" && fail "web: a step found no pages"
if [ "$use_ftp" -eq 1 ]; then
    wait_for test -s "$web/ftp/velmoralog.htm" || fail "web: the pages were not uploaded"
    grep -q "^Transfer Log: Success: cmdUpload" "$dir/out" || fail "web: no upload line"
fi
stop web
[ -n "$ftp_pid" ] && kill "$ftp_pid" && wait "$ftp_pid" 2>/dev/null
for f in index.htm velmora.htm velmoralog.htm; do
    [ -f "$pages/$f" ] || fail "web: $f not in \$XDG_DATA_HOME/velmora"
done
[ "$(beside "$p/bin")" = "$before" ] || fail "web: wrote beside the program: $(beside "$p/bin")"
[ "$status" -eq 0 ] || { echo "--- headless output"; cat "$dir/out"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "installed program: root-only cases skipped (they run as root and in a namespace)"
    [ "$status" -eq 0 ] && echo "installed program: all checks passed"
    exit "$status"
fi

# 5. First start without the ICMP permission (a fresh network namespace
# allows no group the datagram ICMP sockets, and nobody has no CAP_NET_RAW):
# the first log line says what to run for this binary.
start unshare --net -- sh -c 'sysctl -qw net.ipv4.ping_group_range="1 0" && exec "$@"' sh \
    setpriv --reuid="$uid" --regid="$gid" --clear-groups -- \
    env XDG_CONFIG_HOME="$u/icmp-config" HOME="$u/home" "$p/bin/velmora-headless"
wait_for grep -q "setcap cap_net_raw+ep $p/bin/velmora-headless" "$dir/out" ||
    { fail "no ICMP permission line naming the installed binary"; cat "$dir/out"; }
stop "ICMP permission"

# 6. Root can write the prefix, but an installed copy still keeps its files
# out of its bin folder.
start env XDG_CONFIG_HOME="$dir/root-config" HOME="$dir/root-home" "$p/bin/velmora-headless"
wait_for test -e "$dir/root-config/velmora/velmora.ini.lock" ||
    { fail "root: no lock in \$XDG_CONFIG_HOME/velmora"; cat "$dir/out"; }
stop root
[ "$(beside "$p/bin")" = "$before" ] || fail "root: wrote beside the program"

# 7. Portable use: a settings file beside the program wins. Its DNS server
# is read, so no question is asked, and the per-user folder stays unmade.
printf '[DNS Settings]\r\nDNS-0=127.0.0.1\r\n' >"$p/bin/velmora.ini"
start env XDG_CONFIG_HOME="$dir/portable-config" HOME="$dir/root-home" "$p/bin/velmora-headless"
wait_for test -e "$p/bin/velmora.ini.lock" || fail "portable: no lock beside the settings"
stop portable
grep -q "DNS Server Specification" "$dir/out" && fail "portable: the DNS server was not read"
[ -e "$dir/portable-config" ] && fail "portable: the per-user folder was made"
rm -f "$p/bin/velmora.ini"

[ "$status" -eq 0 ] && echo "installed program: all checks passed"
exit "$status"
