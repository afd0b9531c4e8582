#!/usr/bin/env bash
# Sourced by every script that needs a private X server (run.sh, the tests,
# the benchmarks, the screenshots): xserver_start starts Xvfb on a free
# display, optionally a window manager and a tray host, and exports DISPLAY
# and a private XDG_RUNTIME_DIR; xserver_stop stops what it started, the X
# server last. xserver_start sets a trap on EXIT that calls xserver_stop.
#
#   xserver_start [--wm openbox|icewm|none] [--tray] [--screen WxHxD]
#
# The server runs with -noreset: otherwise it resets (Caps Lock and keymap
# included) whenever its last client leaves.

xserver_pids=()
xserver_tmp=""

xserver_stop() {
    local i
    # The programs first, the X server last, so that none of them sees its
    # display vanish.
    for ((i = ${#xserver_pids[@]} - 1; i >= 0; i--)); do
        kill "${xserver_pids[i]}" 2>/dev/null || true
        wait "${xserver_pids[i]}" 2>/dev/null || true
    done
    xserver_pids=()
    if [ -n "$xserver_tmp" ]; then
        rm -rf "$xserver_tmp"
        xserver_tmp=""
    fi
}

xserver_start() {
    local wm=none tray=0 screen=1280x1024x24
    while [ $# -gt 0 ]; do
        case $1 in
        --wm) wm=$2; shift 2 ;;
        --tray) tray=1; shift ;;
        --screen) screen=$2; shift 2 ;;
        *) echo "xserver: unknown option $1" >&2; return 2 ;;
        esac
    done
    trap xserver_stop EXIT
    xserver_tmp=$(mktemp -d)
    export XDG_RUNTIME_DIR=$xserver_tmp/runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "$screen" 3>"$xserver_tmp/display" \
        >"$xserver_tmp/xvfb.log" 2>&1 &
    xserver_pids+=($!)
    local i
    for ((i = 0; i < 200; i++)); do
        grep -q '^[0-9]' "$xserver_tmp/display" 2>/dev/null && break
        kill -0 "${xserver_pids[0]}" 2>/dev/null || break
        sleep 0.05
    done
    if ! grep -q '^[0-9]' "$xserver_tmp/display" 2>/dev/null; then
        echo "xserver: Xvfb did not start" >&2
        cat "$xserver_tmp/xvfb.log" >&2
        return 1
    fi
    export DISPLAY=":$(head -n1 "$xserver_tmp/display")"
    export QT_QPA_PLATFORM=xcb
    unset WAYLAND_DISPLAY
    case $wm in
    none) ;;
    openbox) openbox --sm-disable >"$xserver_tmp/wm.log" 2>&1 & xserver_pids+=($!) ;;
    icewm) icewm >"$xserver_tmp/wm.log" 2>&1 & xserver_pids+=($!) ;;
    *) echo "xserver: unknown window manager $wm" >&2; return 2 ;;
    esac
    if [ "$wm" != none ]; then
        for ((i = 0; i < 200; i++)); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
            sleep 0.05
        done
    fi
    if [ "$tray" = 1 ]; then
        trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 \
            >/dev/null 2>&1 &
        xserver_pids+=($!)
        sleep 0.5
    fi
    return 0
}
