#!/bin/sh
# Runs a command on a private Xvfb (and openbox with --wm), then stops them.
# Usage: with_xvfb.sh [--wm] [--screen WxHxD] [--] command [args...]
set -u
wm=0
screen=2560x1024x24
while [ $# -gt 0 ]; do
    case $1 in
    --wm) wm=1; shift ;;
    --screen) screen=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done

tmp=$(mktemp -d)
xvfb=
wmpid=
cleanup() {
    [ -n "$wmpid" ] && kill $wmpid 2>/dev/null
    [ -n "$xvfb" ] && kill $xvfb 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
# Also when ctest stops us on a timeout: never leave a server behind.
trap 'cleanup; exit 143' INT TERM
export XDG_RUNTIME_DIR="$tmp/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# -noreset: otherwise the server resets (Caps Lock and keymap included)
# whenever its last client leaves.
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "$screen" 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
i=0
while ! grep -q '^[0-9]' "$tmp/display" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 200 ] || ! kill -0 $xvfb 2>/dev/null; then
        echo "with_xvfb: Xvfb did not start" >&2
        cat "$tmp/xvfb.log" >&2
        cleanup
        exit 1
    fi
    sleep 0.05
done
export DISPLAY=":$(head -n1 "$tmp/display")"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

if [ $wm = 1 ]; then
    openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
    wmpid=$!
    i=0
    while ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
        i=$((i + 1))
        if [ $i -gt 200 ]; then
            echo "with_xvfb: openbox did not start" >&2
            break
        fi
        sleep 0.05
    done
fi

"$@" &
child=$!
trap 'kill $child 2>/dev/null; cleanup; exit 143' INT TERM
wait $child
rc=$?
cleanup
exit $rc
