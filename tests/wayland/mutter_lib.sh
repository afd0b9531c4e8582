#!/usr/bin/env bash
# Sourced by what runs Pressmark on a headless mutter (GNOME's compositor):
#   mutter_start DIR      mutter with a 1280x720 virtual monitor and PipeWire
#                         (which carries the screen cast GNOME's remote
#                         desktop needs) on one session bus of their own, in
#                         DIR; the environment then points at them
#   mutter_target LOG     the Qt click target, full screen, logging to LOG
#   mutter_stop           ends all of it
# Both starts print why and return non-zero when they fail.
mutter_pids=()

mutter_start() {
    local dir=$1
    command -v mutter >/dev/null || { echo "mutter is not installed" >&2; return 1; }
    command -v pipewire >/dev/null || { echo "pipewire is not installed" >&2; return 1; }
    mkdir -p "$dir/run" "$dir/home"
    chmod 700 "$dir/run"
    export HOME=$dir/home XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/home/.config
    export WAYLAND_DISPLAY=wayland-pm
    unset DISPLAY QT_QPA_PLATFORM
    setsid dbus-run-session -- bash -c "echo \$DBUS_SESSION_BUS_ADDRESS >'$dir/bus'
        pipewire >'$dir/pipewire.log' 2>&1 &
        exec mutter --headless --wayland --no-x11 --wayland-display=$WAYLAND_DISPLAY \
            --virtual-monitor 1280x720 --sm-disable" >"$dir/mutter.log" 2>&1 &
    mutter_pids+=($!)
    for _ in $(seq 150); do
        [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && [ -s "$dir/bus" ] && break
        sleep 0.1
    done
    if ! [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]; then
        cat "$dir/mutter.log" >&2
        echo "mutter did not start" >&2
        return 1
    fi
    DBUS_SESSION_BUS_ADDRESS=$(cat "$dir/bus")
    export DBUS_SESSION_BUS_ADDRESS
}

mutter_target() {
    local target=$1 log=$2
    : >"$log"
    QT_QPA_PLATFORM=wayland "$target" --fullscreen --title ClickTarget "$log" &
    mutter_pids+=($!)
    for _ in $(seq 100); do
        grep -q '^ready' "$log" && return 0
        sleep 0.1
    done
    echo "the click target did not start" >&2
    return 1
}

mutter_stop() {
    local p
    for p in "${mutter_pids[@]}"; do
        kill -- -"$p" 2>/dev/null || kill "$p" 2>/dev/null
    done
    wait 2>/dev/null
}
