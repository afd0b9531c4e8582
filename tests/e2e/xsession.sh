#!/usr/bin/env bash
# Sourced by the end-to-end scripts: a private X server with a window manager
# and a tray host, torn down on exit. Sets DISPLAY and XDG_RUNTIME_DIR.
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xserver.sh"

# The programs a script starts; they are stopped before the X server.
x_pids=()
x_stop() {
    local i p
    for ((i = ${#x_pids[@]} - 1; i >= 0; i--)); do
        p=${x_pids[i]}
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    x_pids=()
    [ -n "${x_tmp:-}" ] && rm -rf "$x_tmp"
    xserver_stop
}

# The window manager: openbox unless E2E_WM names another (icewm).
x_wm=${E2E_WM:-openbox}
xserver_start --wm "$x_wm"
trap x_stop EXIT
x_tmp=$(mktemp -d)
x_start_tray() {
    trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 \
        >/dev/null 2>&1 &
    x_tray_pid=$!
    x_pids+=("$x_tray_pid")
    sleep 0.5
}
x_start_tray
for _ in $(seq 50); do xdotool getactivewindow >/dev/null 2>&1 && break; sleep 0.1; done

# --- helpers for driving Pressmark ---
x_width=$(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1] }')
x_height=$(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[2] }')
# e2e_norm PIXEL EXTENT: the normalized coordinate that replays on PIXEL.
e2e_norm() { awk -v p="$1" -v w="$2" 'BEGIN { n = p * 65535 - 32767; print int((n + w - 1) / w) }'; }
e2e_fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# Waits for a visible window whose name matches; prints its id.
e2e_window() {
    local name=$1 id=""
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n1 || true)
        [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || e2e_fail "no window named '$name'"
    echo "$id"
}
e2e_no_window() {
    local name=$1
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "$name" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    e2e_fail "window '$name' is still visible"
}
# Waits until a window really has the keyboard focus: windowactivate --sync
# returns at once when the window manager, lagging behind, still names the
# window active from before.
e2e_wait_focus() {
    local win=$1
    for _ in $(seq 100); do
        [ "$(xdotool getwindowfocus 2>/dev/null)" = "$win" ] && return 0
        sleep 0.05
    done
    return 1
}
# Activates a window and waits for its focus.
e2e_activate() {
    local win=$1
    xdotool windowactivate --sync "$win"
    e2e_wait_focus "$win" || e2e_fail "window $win did not get the focus"
}
# Clicks at a point of a window's client area (as a person would).
e2e_click() {
    local win=$1 x=$2 y=$3
    xdotool mousemove --window "$win" "$x" "$y"
    sleep 0.1
    xdotool click 1
    sleep 0.2
}
# Answers a Pressmark input dialog: types the text and presses Return.
e2e_answer() {
    local caption=$1 text=$2 dlg
    dlg=$(e2e_window "$caption")
    xdotool windowactivate --sync "$dlg" 2>/dev/null || true
    e2e_wait_focus "$dlg" || true
    sleep 0.2
    [ -n "$text" ] && xdotool type --delay 60 "$text"
    sleep 0.2
    xdotool key Return
    e2e_no_window "$caption"
}
