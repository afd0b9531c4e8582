#!/usr/bin/env bash
# Sourced by what runs Pressmark on a headless mutter (GNOME's compositor):
#   mutter_start DIR      mutter with a 1280x720 virtual monitor and PipeWire
#                         (which carries the screen cast GNOME's remote
#                         desktop needs) on one session bus of their own, in
#                         DIR; the environment then points at them
#   gnome_start DIR EXT   GNOME Shell in its place instead (as root: it needs
#                         a system bus, and /run/systemd hidden from it,
#                         or it wants logind), with the extension EXT (its
#                         built folder) installed and enabled, and the input
#                         sources us and ru
#   mutter_target LOG     the Qt click target, full screen, logging to LOG
#   mutter_stop           ends all of it
# Both starts print why and return non-zero when they fail.
mutter_pids=()

mutter_start() {
    local dir=$1
    command -v mutter >/dev/null || { echo "mutter is not installed" >&2; return 1; }
    compositor_start "$dir" "mutter --headless --wayland --no-x11 --wayland-display=wayland-pm \
        --virtual-monitor 1280x720 --sm-disable"
}

gnome_start() {
    local dir=$1 ext=$2 uuid
    command -v gnome-shell >/dev/null || { echo "gnome-shell is not installed" >&2; return 1; }
    uuid=$(basename "$ext")
    mkdir -p "$dir/home/.local/share/gnome-shell/extensions"
    cp -r "$ext" "$dir/home/.local/share/gnome-shell/extensions/"
    if ! dbus-send --system --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId \
        2>/dev/null; then
        mkdir -p /run/dbus
        rm -f /run/dbus/system_bus_socket # left by one that ended
        dbus-daemon --system --fork --nopidfile || { echo "no system bus" >&2; return 1; }
    fi
    compositor_start "$dir" "gsettings set org.gnome.shell enabled-extensions \"['$uuid']\"
        gsettings set org.gnome.desktop.input-sources sources \"[('xkb', 'us'), ('xkb', 'ru')]\"
        exec unshare -m sh -c 'mount -t tmpfs none /run/systemd && exec gnome-shell \
            --headless --wayland --no-x11 --wayland-display=wayland-pm \
            --virtual-monitor 1280x720'"
}

# The compositor's command runs in a session bus of its own, with PipeWire.
compositor_start() {
    local dir=$1 command=$2
    command -v pipewire >/dev/null || { echo "pipewire is not installed" >&2; return 1; }
    mkdir -p "$dir/run" "$dir/home"
    chmod 700 "$dir/run"
    export HOME=$dir/home XDG_RUNTIME_DIR=$dir/run XDG_CONFIG_HOME=$dir/home/.config
    export WAYLAND_DISPLAY=wayland-pm
    unset DISPLAY QT_QPA_PLATFORM
    setsid dbus-run-session -- bash -c "echo \$DBUS_SESSION_BUS_ADDRESS >'$dir/bus'
        pipewire >'$dir/pipewire.log' 2>&1 &
        $command" >"$dir/mutter.log" 2>&1 &
    mutter_pids+=($!)
    for _ in $(seq 150); do
        [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && [ -s "$dir/bus" ] && break
        sleep 0.1
    done
    if ! [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]; then
        cat "$dir/mutter.log" >&2
        echo "the compositor did not start" >&2
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
