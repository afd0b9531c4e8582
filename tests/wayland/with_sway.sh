#!/usr/bin/env bash
# Runs a test program as a client of a private headless sway, then stops it.
# Usage: with_sway.sh program [args...]
# sway refuses to run as root: as root, sway and the program run as a
# throwaway user (PRESSMARK_SWAY_USER, default pressmark-test, made when
# missing) from a copy of the program that user can read. The sway
# configuration below is the "user's": the tests check that its bindings are
# left alone. A sway that does not start fails the run.
set -u
program=$1
shift
work=$(mktemp -d /tmp/pressmark-sway.XXXXXX) || exit 1
chmod 755 "$work"
cp "$program" "$work/" || exit 1
user=""
if [ "$(id -u)" = 0 ]; then
    user=${PRESSMARK_SWAY_USER:-pressmark-test}
    id "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user" || exit 1
    chown "$user" "$work"
fi
as() { # the session's user with the session's environment
    if [ -n "$user" ]; then
        runuser -u "$user" -- env -u SWAYSOCK -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/run" "$@"
    else
        env -u SWAYSOCK -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/run" "$@"
    fi
}
cat > "$work/sway.cfg" <<'CFG'
output HEADLESS-1 resolution 1280x720 position 0 0
set $mod Mod4
bindsym $mod+q nop user-chord
CFG
# runuser does not pass a kill on to its child: sway writes its own PID
as sh -c "mkdir -p -m 700 '$work/run' && echo \$\$ > '$work/sway.pid' && \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    exec sway -c '$work/sway.cfg'" > "$work/sway.log" 2>&1 &
stop() {
    [ -f "$work/sway.pid" ] && kill "$(cat "$work/sway.pid")" 2>/dev/null
    sleep 0.2
    rm -rf "$work"
}
trap 'stop; exit 143' INT TERM
display="" sock=""
for _ in $(seq 100); do # sway names its sockets itself
    display=$(ls "$work/run" 2>/dev/null | grep -E '^wayland-[0-9]+$' | head -1)
    sock=$(ls "$work/run" 2>/dev/null | grep -E '^sway-ipc\..*\.sock$' | head -1)
    [ -n "$display" ] && [ -n "$sock" ] && break
    if [ -f "$work/sway.pid" ] && ! kill -0 "$(cat "$work/sway.pid")" 2>/dev/null; then
        break # it has ended already
    fi
    sleep 0.1
done
if [ -z "$display" ] || [ -z "$sock" ]; then
    echo "with_sway.sh: sway did not start:" >&2
    tail -20 "$work/sway.log" >&2
    stop
    exit 1
fi
as WAYLAND_DISPLAY="$display" SWAYSOCK="$work/run/$sock" "$work/$(basename "$program")" "$@"
rc=$?
stop
exit $rc
