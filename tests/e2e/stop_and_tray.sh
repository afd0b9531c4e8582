#!/usr/bin/env bash
# Alt+W stops a long run with no further click; minimising sends the window
# to the tray and a left click on the tray icon brings it back, also after
# the tray host was restarted.
# Usage: stop_and_tray.sh PRESSMARK CLICK_TARGET
source "$(dirname "$0")/lib.sh"

# 1000,400 on the 1280x1024 screen; a base delay of 1.5 s, 100 repetitions.
printf '[sett]\r\nsleep=1500\r\nrepeat=100\r\n[1]\r\nx=51200\r\ny=25600\r\nkey=1\r\n' \
    >"$scenarios/long.ini"
e2e_start_target
e2e_start_window

presses() { grep -c '^press L 1000 400$' "$log" || true; }

e2e_click "$pw" 40 $((page + 32)) # long.ini
xdotool windowactivate --sync "$tw"
xdotool key alt+q
for _ in $(seq 80); do [ "$(presses)" -ge 2 ] && break; sleep 0.1; done
[ "$(presses)" -ge 2 ] || e2e_fail "the run did not start"
sleep 0.4 # inside the wait after a click
xdotool key alt+w
stopped_at=$(presses)
sleep 3.5
[ "$(presses)" -eq "$stopped_at" ] || e2e_fail "clicks went on after Alt+W: $(presses) > $stopped_at"
# The run has ended: Alt+Q starts a new one, Alt+W ends it again.
xdotool key alt+q
for _ in $(seq 40); do [ "$(presses)" -gt "$stopped_at" ] && break; sleep 0.1; done
[ "$(presses)" -gt "$stopped_at" ] || e2e_fail "no new run after the stop"
xdotool key alt+w
sleep 0.3

tray_icon() {
    # The icon is our window embedded in the tray host (bottom right, 24
    # pixels high), named after the program, and shown.
    local id info
    for id in $(xwininfo -root -tree | awk '/"Pressmark": \("pressmark"/ {print $1}'); do
        info=$(xwininfo -id "$id")
        if grep -q 'IsViewable' <<<"$info" &&
            [ "$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")" -ge 1000 ]; then
            echo "$id"
            return 0
        fi
    done
    return 1
}
restore_by_tray() {
    local icon=""
    for _ in $(seq 50); do icon=$(tray_icon || true); [ -n "$icon" ] && break; sleep 0.1; done
    [ -n "$icon" ] || e2e_fail "no tray icon"
    xdotool mousemove --window "$icon" 11 11
    sleep 0.1
    xdotool click 1
    e2e_window "Pressmark v 2.0" >/dev/null
}

xdotool windowminimize "$pw"
e2e_no_window "Pressmark v 2.0"
restore_by_tray
[ "$(xdotool getactivewindow getwindowname)" = "Pressmark v 2.0   " ] ||
    e2e_fail "the restored window is not in front"

# The tray host goes away and comes back: the icon is there again.
kill "$x_tray_pid"
sleep 1
x_start_tray
sleep 1
pw=$(e2e_window "Pressmark v 2.0")
xdotool windowminimize "$pw"
e2e_no_window "Pressmark v 2.0"
restore_by_tray
echo "stop_and_tray: ok"
