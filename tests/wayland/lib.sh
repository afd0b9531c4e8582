#!/usr/bin/env bash
# Sourced by the Wayland scripts and benchmarks: sway with its headless
# backend (no GPU, no input devices) as an ordinary user, the programs under
# test started as that user in its session, and helpers that act as a person
# would. sway refuses to run as root, so as root (CI) everything runs as a
# throwaway user, $PRESSMARK_TEST_USER or pressmark-test, made if missing.
#
#   wl_start SEAT [SWAY CONFIG LINE...]
#                                    the session, with SEAT (wayland_seat, see
#                                    seat.cpp) as its mouse and keyboard; a
#                                    failure to start fails
#   wl_stage FILE...                 copies programs where the user can run them
#   wl_spawn NAME COMMAND...         a program of the session, its output in
#                                    $wl_dir/NAME.log, its PID in NAME.pid
#   wl_as COMMAND...                 a command in the session, in the foreground
# WL_KEEP=1 keeps the session's folder, WL_SWAY_ARGS=-d has sway log all.
#
# The output is 1280x720 at 0,0; windows titled ClickTarget float at
# 720,150, Pressmark's own at 0,0; more rules come as arguments of wl_start.
set -euo pipefail

wl_width=1280
wl_height=720
wl_dir=$(mktemp -d /tmp/pressmark-wayland.XXXXXX)
chmod 755 "$wl_dir"
wl_run=$wl_dir/run
wl_user=""
if [ "$(id -u)" -eq 0 ]; then
    wl_user=${PRESSMARK_TEST_USER:-pressmark-test}
    id "$wl_user" >/dev/null 2>&1 || useradd -M -d /nonexistent -s /bin/sh "$wl_user"
fi
mkdir -p "$wl_dir/bin" "$wl_dir/home"
mkdir -m 700 "$wl_run"
[ -z "$wl_user" ] || chown -R "$wl_user:" "$wl_dir"
wl_display=""
wl_names=()

# Fails the script; the session's folder (logs, a screenshot) is kept.
wl_fail() {
    echo "FAIL: $*" >&2
    [ -z "$wl_display" ] || wl_shot failed >&2 || true
    WL_KEEP=1
    exit 1
}
# Stops every program the script started, by the PID it wrote (runuser does
# not pass a kill on to its child), the compositor last.
wl_stop() {
    local i f
    for ((i = ${#wl_names[@]} - 1; i >= 0; i--)); do
        f=$wl_dir/${wl_names[i]}.pid
        [ -s "$f" ] && kill "$(cat "$f")" 2>/dev/null || true
    done
    for ((i = ${#wl_names[@]} - 1; i >= 0; i--)); do
        f=$wl_dir/${wl_names[i]}.pid
        [ -s "$f" ] || continue
        for _ in $(seq 50); do
            kill -0 "$(cat "$f")" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$(cat "$f")" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    wl_names=()
    if [ -n "${WL_KEEP:-}" ]; then
        echo "wayland: logs kept in $wl_dir" >&2
    else
        rm -rf "$wl_dir"
    fi
}
trap wl_stop EXIT
# Killed (a timeout), the script still stops what it started.
trap 'exit 143' TERM INT HUP

# Runs a command as the session's user, in the session.
wl_as() {
    local env=(env -u DISPLAY -u XAUTHORITY
        HOME="$wl_dir/home" XDG_RUNTIME_DIR="$wl_run" SWAYSOCK="$wl_run/sway.sock"
        LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=wayland GDK_BACKEND=wayland
        QT_WAYLAND_DISABLE_WINDOWDECORATION=1 NO_AT_BRIDGE=1)
    [ -z "$wl_display" ] || env+=(WAYLAND_DISPLAY="$wl_display")
    if [ -n "$wl_user" ]; then
        runuser -u "$wl_user" -- "${env[@]}" "$@"
    else
        "${env[@]}" "$@"
    fi
}
# wl_spawn NAME COMMAND...: starts a program of the session in the background.
wl_spawn() {
    local name=$1
    shift
    wl_names+=("$name")
    wl_as sh -c 'echo $$ >"$0.pid" && exec "$@"' "$wl_dir/$name" "$@" \
        >"$wl_dir/$name.log" 2>&1 &
    for _ in $(seq 50); do
        [ -s "$wl_dir/$name.pid" ] && return 0
        sleep 0.05
    done
    wl_fail "$name did not start"
}
wl_pid() { cat "$wl_dir/$1.pid"; }
# Copies programs into the session's folder (the clone may be where the
# user cannot read); prints their new paths.
wl_stage() {
    local f
    for f in "$@"; do
        cp "$f" "$wl_dir/bin/"
        [ -z "$wl_user" ] || chown "$wl_user:" "$wl_dir/bin/$(basename "$f")"
        echo "$wl_dir/bin/$(basename "$f")"
    done
}
wl_msg() { wl_as swaymsg "$@"; }

wl_start() {
    local seat=$1 rule
    shift
    {
        echo "output HEADLESS-1 resolution ${wl_width}x$wl_height position 0 0"
        echo "xwayland disable"
        echo "default_border none"
        echo "default_floating_border none"
        echo "focus_follows_mouse no"
        echo 'for_window [title="^ClickTarget$"] floating enable, move absolute position 720 150'
        echo 'for_window [title="^Pressmark v"] floating enable, move absolute position 0 0'
        for rule in "$@"; do echo "$rule"; done
    } >"$wl_dir/sway.cfg"
    wl_spawn sway env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway ${WL_SWAY_ARGS:-} -c "$wl_dir/sway.cfg"
    for _ in $(seq 100); do # sway names its socket itself (wayland-1, ...)
        wl_display=$(ls "$wl_run" 2>/dev/null | grep -E '^wayland-[0-9]+$' | head -n1 || true)
        [ -n "$wl_display" ] && [ -S "$wl_run/sway.sock" ] && break
        kill -0 "$(wl_pid sway)" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$wl_display" ] || ! wl_msg -t get_version >/dev/null 2>&1; then
        cat "$wl_dir/sway.log" >&2
        wl_fail "sway did not start headless as ${wl_user:-$(id -un)}"
    fi
    local rect
    rect=$(wl_msg -t get_outputs | jq -r '.[0].rect | "\(.x) \(.y) \(.width) \(.height)"')
    [ "$rect" = "0 0 $wl_width $wl_height" ] || wl_fail "sway's output is '$rect'"
    wl_spawn seat "$(wl_stage "$seat")"
    wl_wait 10 grep -qx ready "$wl_dir/seat.log" || wl_fail "no mouse and keyboard: $(cat "$wl_dir/seat.log")"
    echo "wayland: sway $(wl_msg -t get_version | jq -r .human_readable) on $wl_display" \
        "as ${wl_user:-$(id -un)}, output $rect"
}

# --- acting as a person ---
# wl_click X Y [button1|button3]: the seat's own cursor moved to the pixel,
# pressed and released: the path a mouse takes, which what records presses
# sees as it sees a person's. At the pixel's centre, as a hand lands
# within a pixel: sway 1.7 gives a window nothing pressed exactly on its
# top edge (y.0 of its first row).
wl_click() {
    local button=${3:-button1}
    wl_msg -q "seat - cursor set $1.5 $2.5"
    wl_msg -q "seat - cursor press $button"
    wl_msg -q "seat - cursor release $button"
}
# wl_chord MODIFIER KEY: e.g. wl_chord ctrl q.
wl_chord() { wl_as wtype -M "$1" -k "$2" -m "$1"; }
wl_key() { wl_as wtype -k "$1"; }
wl_type() { wl_as wtype -- "$1"; }

# --- what the compositor knows ---
# wl_rect JQ_FILTER: "x y width height" of the first window the filter
# selects from the tree's windows, e.g. '.name == "ClickTarget"' or
# ".pid == $pid"; empty when none.
wl_rect() {
    wl_msg -t get_tree | jq -r "[recurse(.nodes[]?, .floating_nodes[]?)
        | select(.pid != null and .visible == true) | select($1)][0]
        | select(. != null) | .rect | \"\(.x) \(.y) \(.width) \(.height)\""
}
# wl_window JQ_FILTER [SECONDS]: waits for the window; prints its rect.
wl_window() {
    local rect="" end=$((SECONDS + ${2:-10}))
    while [ $SECONDS -lt $end ]; do
        rect=$(wl_rect "$1")
        [ -n "$rect" ] && break
        sleep 0.1
    done
    [ -n "$rect" ] || wl_fail "no window where $1"
    echo "$rect"
}
wl_no_window() {
    local end=$((SECONDS + ${2:-10}))
    while [ $SECONDS -lt $end ]; do
        [ -z "$(wl_rect "$1")" ] && return 0
        sleep 0.1
    done
    wl_fail "a window where $1 is still there"
}
# wl_focused: the name of the window with the keyboard focus.
wl_focused() {
    wl_msg -t get_tree | jq -r '[recurse(.nodes[]?, .floating_nodes[]?)
        | select(.focused == true)][0].name // ""'
}
# wl_wait SECONDS COMMAND...: retries the command every 0.1 s until it succeeds.
wl_wait() {
    local end=$((SECONDS + $1))
    shift
    while [ $SECONDS -lt $end ]; do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}
# wl_shot NAME: the screen into $wl_dir/NAME.png, when grim is there.
wl_shot() {
    command -v grim >/dev/null || return 0
    wl_as grim "$wl_dir/$1.png" && echo "wayland: screenshot $wl_dir/$1.png"
}
# wl_norm PIXEL EXTENT: the normalized coordinate that replays on PIXEL.
wl_norm() { awk -v p="$1" -v w="$2" 'BEGIN { n = p * 65535 - 32767; print int((n + w - 1) / w) }'; }
# wl_stage_says TEXT: a stage's name, loud.
wl_say() { echo "--- $*"; }
