#!/usr/bin/env bash
# Starting the program: a display it cannot use is said and ends with exit 4;
# a second start of the window brings the running one to the front and ends,
# also when it sits in the tray; --list and --play still run beside it; the
# socket a killed window left does not block the next start.
# Usage: start_up.sh PRESSMARK CLICK_TARGET
source "$(dirname "$0")/lib.sh"

printf '[sett]\r\nsleep=0\r\n[1]\r\nx=51200\r\ny=25600\r\nkey=1\r\n' >"$scenarios/one.ini"

# A display number nobody serves, and one whose server is gone (its socket
# is still there, nobody answers it).
free=""
for n in $(seq 900 999); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { free=$n; break; }
done
for n in $(seq $((free + 1)) 999); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { gone=$n; break; }
done
gone_socket=/tmp/.X11-unix/X$gone
trap 'rm -f "$gone_socket" "/tmp/.X$gone-lock"; x_stop' EXIT
# A server killed outright leaves its socket behind.
Xvfb ":$gone" -nolisten tcp >/dev/null 2>&1 &
gone_pid=$!
for _ in $(seq 100); do [ -S "$gone_socket" ] && break; sleep 0.05; done
kill -9 "$gone_pid"
wait "$gone_pid" 2>/dev/null || true
[ -S "$gone_socket" ] || e2e_fail "the killed server left no socket"
# (--play always asks for the xcb plugin: a missing one matters to the window.)
for how in "DISPLAY=:$free" "DISPLAY=:$gone" "QT_QPA_PLATFORM=nosuch"; do
    for mode in window play; do
        args=(--scenarios "$scenarios")
        if [ $mode = play ]; then
            [ "$how" = QT_QPA_PLATFORM=nosuch ] && continue
            args+=(--play one)
        fi
        expect_exit 4 env "$how" "$pressmark" "${args[@]}"
        grep -q '^pressmark: ' "$x_tmp/err" || e2e_fail "$how $mode: no message: $(cat "$x_tmp/err")"
    done
done
rm -f "$gone_socket" "/tmp/.X$gone-lock"

e2e_start_window
e2e_start_target
e2e_activate "$tw"

windows() { xdotool search --onlyvisible --name "^Pressmark v" 2>/dev/null | wc -l; }
second_start() {
    local t0 t1
    t0=$(date +%s%N)
    expect_exit 0 timeout 20 "$pressmark" --scenarios "$scenarios"
    t1=$(date +%s%N)
    [ $(((t1 - t0) / 1000000)) -lt 5000 ] || e2e_fail "the second start took $(((t1 - t0) / 1000000)) ms"
    kill -0 "$pw_pid" 2>/dev/null || e2e_fail "the first window ended"
    e2e_wait_focus "$pw" || e2e_fail "the running window did not come to the front ($1)"
    sleep 0.5
    [ "$(windows)" -eq 1 ] || e2e_fail "$(windows) windows after a second start ($1)"
}
second_start "behind another program"

xdotool windowminimize "$pw"
e2e_no_window "^Pressmark v"
second_start "in the tray"

# The command line's player and list run beside the window.
expect_exit 0 "$pressmark" --scenarios "$scenarios" --list
[ "$(cat "$x_tmp/out")" = one ] || e2e_fail "--list beside the window: $(cat "$x_tmp/out")"
expect_exit 0 "$pressmark" --scenarios "$scenarios" --play one
grep -qx 'press L 1000 400' "$log" || e2e_fail "--play beside the window did not click: $(cat "$log")"
[ "$(windows)" -eq 1 ] || e2e_fail "--play or --list opened a window"

# A window killed outright leaves its socket; the next start is a window.
kill -9 "$pw_pid"
wait "$pw_pid" 2>/dev/null || true
e2e_start_window
echo "start_up: ok"
