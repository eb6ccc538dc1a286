#!/usr/bin/env bash
# `cmake --install` into a temporary prefix puts every file in its standard
# place, and the desktop's own validators accept the desktop entry and the
# AppStream file.
set -u
build=$1 version=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
p=$dir/prefix
status=0
fail() { echo "FAIL $*"; status=1; }

cmake --install "$build" --prefix "$p" >"$dir/install.log" 2>&1 ||
    { cat "$dir/install.log"; echo "FAIL cmake --install"; exit 1; }

for exe in velmora velmora-headless; do
    [ -x "$p/bin/$exe" ] || fail "bin/$exe is missing or not executable"
    [ "$("$p/bin/$exe" --version)" = "$exe $version" ] || fail "installed $exe --version"
    [ -u "$p/bin/$exe" ] || [ -g "$p/bin/$exe" ] && fail "bin/$exe is setuid or setgid"
done

desktop=$p/share/applications/velmora.desktop
if desktop-file-validate "$desktop" >"$dir/desktop.log" 2>&1; then
    grep -qx 'Categories=Network;Monitor;' "$desktop" || fail "desktop entry categories"
    grep -qx 'Exec=velmora' "$desktop" || fail "desktop entry Exec"
    grep -qx 'Icon=velmora' "$desktop" || fail "desktop entry Icon"
else
    cat "$dir/desktop.log"; fail "desktop-file-validate"
fi

metainfo=$p/share/metainfo/org.velmora.Velmora.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$dir/appstream.log" 2>&1 ||
    { cat "$dir/appstream.log"; fail "appstreamcli validate"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo release version"
grep -q '<launchable type="desktop-id">velmora.desktop</launchable>' "$metainfo" ||
    fail "metainfo launchable"

svg=$p/share/icons/hicolor/scalable/apps/velmora.svg
png=$p/share/icons/hicolor/256x256/apps/velmora.png
grep -q '<svg' "$svg" 2>/dev/null || fail "scalable icon"
# The PNG's signature and its IHDR width and height.
size=$(python3 -c '
import struct, sys
b = open(sys.argv[1], "rb").read(24)
assert b[:8] == b"\x89PNG\r\n\x1a\n" and b[12:16] == b"IHDR"
print("%dx%d" % struct.unpack(">II", b[16:24]))' "$png" 2>/dev/null)
[ "$size" = "256x256" ] || fail "256 px icon is '$size'"

man=$p/share/man/man1/velmora.1
head -n1 "$man" | grep -q "^\.TH VELMORA 1 .*Velmora $version" || fail "man page header"
grep -q '@' "$man" && fail "man page has an unconfigured placeholder"
grep -qF -- '\-\-version' "$man" || fail "man page lists no --version"
[ "$(cat "$p/share/man/man1/velmora-headless.1")" = ".so man1/velmora.1" ] ||
    fail "velmora-headless(1)"

grep -q '<h1>Velmora Help</h1>' "$p/share/velmora/help/index.html" 2>/dev/null ||
    fail "help pages"

unit=$p/lib/systemd/system/velmora.service
grep -qx "ExecStart=$p/bin/velmora-headless" "$unit" || fail "unit does not start the installed program"
# systemd's own check where systemd is there: no unknown key, a real program.
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify "$unit" >"$dir/unit.log" 2>&1 && ! grep -q . "$dir/unit.log" ||
        { cat "$dir/unit.log"; fail "systemd-analyze verify"; }
else
    echo "not checked: systemd-analyze is not installed, so the unit was not verified"
fi

[ "$status" -eq 0 ] && echo "installed tree: all checks passed"
exit "$status"
