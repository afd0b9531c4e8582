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
        rm -rf "$tmp"
        exit 1
    fi
    sleep 0.05
done
export DISPLAY=":$(head -n1 "$tmp/display")"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

wmpid=
if [ $wm = 1 ]; then
    export PRESSMARK_TEST_WM=openbox
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

"$@"
rc=$?

if [ -n "$wmpid" ]; then
    kill $wmpid 2>/dev/null
    wait $wmpid 2>/dev/null
fi
kill $xvfb 2>/dev/null
wait $xvfb 2>/dev/null
rm -rf "$tmp"
exit $rc
