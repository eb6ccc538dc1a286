#!/usr/bin/env bash
# --help, --version and a wrong argument, for the window and the headless
# program alike: what each prints where, and the exit status. No display is
# set: neither needs one to answer.
set -u
velmora=$1 headless=$2 version=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
status=0
fail() { echo "FAIL $*"; status=1; }

# program | arguments | status | stdout first line | stderr first line ('' = empty)
while IFS='|' read -r exe args want out err; do
    [ -n "$exe" ] || continue
    name=$(basename "$exe")
    case $exe in velmora) exe=$velmora ;; velmora-headless) exe=$headless ;; esac
    out=${out//NAME/$name} out=${out//VERSION/$version}
    err=${err//NAME/$name}
    # shellcheck disable=SC2086 # the arguments are split on purpose
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$exe" $args \
        >"$dir/out" 2>"$dir/err" </dev/null
    rc=$?
    what="$name $args"
    [ "$rc" -eq "$want" ] || fail "$what: exit status $rc, wanted $want"
    [ "$(head -n1 "$dir/out")" = "$out" ] || fail "$what: stdout '$(head -n1 "$dir/out")'"
    [ "$(head -n1 "$dir/err")" = "$err" ] || fail "$what: stderr '$(head -n1 "$dir/err")'"
    # The help follows a refusal, and is what --help prints.
    if [ "$want" -eq 2 ]; then
        tail -n +2 "$dir/err" >"$dir/after"
        "$exe" --help >"$dir/help" 2>/dev/null
        cmp -s "$dir/after" "$dir/help" || fail "$what: the help does not follow the error"
    fi
    if [ "$args" = "--help" ]; then
        grep -q -- '--version' "$dir/out" || fail "$what: --version is not listed"
        grep -q -- '--help' "$dir/out" || fail "$what: --help is not listed"
    fi
done <<'CASES'
velmora|--help|0|Usage: NAME [options]|
velmora|-h|0|Usage: NAME [options]|
velmora|--version|0|NAME VERSION|
velmora|-V|0|NAME VERSION|
velmora|-platform offscreen --version|0|NAME VERSION|
velmora|--bogus|2||NAME: unknown option '--bogus'
velmora|-x --help|2||NAME: unknown option '-x'
velmora|-style|2||NAME: option '-style' needs a value
velmora|stray|2||NAME: unexpected argument 'stray'
velmora-headless|--help|0|Usage: NAME [options]|
velmora-headless|--version|0|NAME VERSION|
velmora-headless|--bogus|2||NAME: unknown option '--bogus'
velmora-headless|-platform offscreen|2||NAME: unknown option '-platform'
velmora-headless|stray|2||NAME: unexpected argument 'stray'
CASES
[ "$status" -eq 0 ] && echo "command line: all cases passed"
exit "$status"
