#!/usr/bin/env bash
# The Debian package. "build": cpack makes the .deb, whose dependencies
# dpkg-shlibdeps computed from the binaries, and which sets nothing setuid.
# "install" (root only): dpkg -i puts the program on the menu and on PATH,
# `velmora --version` answers, and dpkg -r takes it away again.
set -u
build=$1 step=$2 version=$3
out=$build/package-test
status=0
fail() { echo "FAIL $*"; status=1; }

case $step in
build)
    rm -rf "$out"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$build/package-test.log" 2>&1 ||
        { cat "$build/package-test.log"; echo "FAIL cpack"; exit 1; }
    deb=$(ls "$out"/velmora_"$version"_*.deb 2>/dev/null | head -n1)
    [ -n "$deb" ] || { echo "FAIL no velmora_${version}_*.deb in $out"; exit 1; }
    info=$(dpkg-deb --info "$deb")
    depends=$(printf '%s\n' "$info" | sed -n 's/^ Depends: //p')
    echo "Depends: $depends"
    # Versioned entries, as only dpkg-shlibdeps writes them.
    for lib in libc6 libqt6core6 libqt6widgets6 libqt6network6; do
        printf '%s\n' "$depends" | grep -Eq "(^|, )$lib \(>= [^)]+\)" ||
            fail "Depends has no computed entry for $lib"
    done
    dpkg-deb -c "$deb" >"$out/contents"
    awk '$1 ~ /^-..[sS]|^-.....[sS]/ { print; bad = 1 } END { exit bad }' "$out/contents" ||
        fail "the package holds setuid or setgid files"
    dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/lib/systemd/system/velmora.service |
        grep -qx 'ExecStart=/usr/bin/velmora-headless' ||
        fail "the package's unit does not start /usr/bin/velmora-headless"
    for f in ./usr/bin/velmora ./usr/bin/velmora-headless \
        ./usr/share/applications/velmora.desktop ./usr/share/velmora/help/index.html; do
        grep -q " $f\$" "$out/contents" || fail "the package lacks $f"
    done
    ;;
install)
    [ "$(id -u)" -eq 0 ] || { echo "needs root for dpkg -i"; exit 77; }
    if dpkg-query -W -f='${Status}' velmora 2>/dev/null | grep -q ' ok installed$'; then
        echo "a velmora package is installed on this machine already; left alone"
        exit 77
    fi
    deb=$(ls "$out"/velmora_"$version"_*.deb | head -n1)
    trap 'dpkg -r velmora >/dev/null 2>&1' EXIT
    dpkg -i "$deb" >"$out/dpkg-i.log" 2>&1 || { cat "$out/dpkg-i.log"; echo "FAIL dpkg -i"; exit 1; }
    [ "$(command -v velmora)" = /usr/bin/velmora ] || fail "velmora is not on PATH in /usr/bin"
    [ "$(velmora --version)" = "velmora $version" ] || fail "velmora --version"
    [ "$(velmora-headless --version)" = "velmora-headless $version" ] ||
        fail "velmora-headless --version"
    [ -f /usr/share/applications/velmora.desktop ] || fail "no menu entry"
    dpkg -r velmora >"$out/dpkg-r.log" 2>&1 || { cat "$out/dpkg-r.log"; fail "dpkg -r"; }
    trap - EXIT
    [ -e /usr/bin/velmora ] && fail "dpkg -r left /usr/bin/velmora"
    ;;
*)
    echo "usage: $0 BUILD build|install VERSION"; exit 1 ;;
esac
[ "$status" -eq 0 ] && echo "package $step: all checks passed"
exit "$status"
