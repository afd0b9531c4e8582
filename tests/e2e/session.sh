#!/usr/bin/env bash
# One run of the program used for a while, as a person uses it: two
# recordings in a row with Ctrl+Q and Ctrl+W, an existing name re-recorded
# answering No and then Yes, and ten rounds of every hot key, the focus on
# the target program in one round and on our own window in the next, each
# round opening and closing the name dialog. Every press must act.
# Usage: session.sh PRESSMARK CLICK_TARGET
source "$(dirname "$0")/lib.sh"

# "a": one click at 1000,400; "b": a long run at 900,300.
printf '[sett]\r\nsleep=100\r\nrepeat=1\r\n[1]\r\nx=51200\r\ny=25600\r\nkey=1\r\n' \
    >"$scenarios/a.ini"
printf '[sett]\r\nsleep=1500\r\nrepeat=100\r\n[1]\r\nx=46080\r\ny=19200\r\nkey=1\r\n' \
    >"$scenarios/b.ini"
e2e_start_target
e2e_start_window

count() { grep -c "^press L $1\$" "$log" || true; }
steps() { grep -c '^\[[0-9]' "$scenarios/$1.ini" || true; }
wait_for() {
    local i
    for i in $(seq 60); do eval "$1" && return 0; sleep 0.1; done
    return 1
}
# Clicks the target where no scenario plays.
click_target() {
    xdotool mousemove 1100 480 click 1
    sleep 0.3
}
# record NAME FOCUS CLICKS: Ctrl+Q, the name, clicks, Ctrl+W, each hot key
# pressed with FOCUS (a window id) active; then one more click, which the
# stopped recording must not take.
record() {
    local name=$1 focus=$2 clicks=$3 i
    e2e_activate "$focus"
    xdotool key ctrl+q
    e2e_answer "Новый сценарий" "$name"
    for ((i = 0; i < clicks; i++)); do click_target; done
    wait_for "[ \"\$(steps $name)\" -eq $clicks ]" ||
        e2e_fail "$name: $(steps "$name") steps recorded, not $clicks"
    e2e_activate "$focus"
    xdotool key ctrl+w
    sleep 0.3
    click_target
    sleep 0.3
    [ "$(steps "$name")" -eq "$clicks" ] || e2e_fail "$name: Ctrl+W did not stop the recording"
}

# Two recordings in a row.
record one "$tw" 2
record two "$tw" 1
# "one" again: No keeps it and records nothing, Yes records anew.
# rerecord KEY: Ctrl+Q, the name "one", KEY (alt+n or alt+y) in the question.
rerecord() {
    local confirm
    e2e_activate "$tw"
    xdotool key ctrl+q
    e2e_answer "Новый сценарий" "one"
    confirm=$(e2e_window "Confirm")
    xdotool windowactivate --sync "$confirm" 2>/dev/null || true
    e2e_wait_focus "$confirm" || true
    xdotool key "$1"
    e2e_no_window "Confirm"
}
rerecord alt+n
click_target
[ "$(steps one)" -eq 2 ] || e2e_fail "No to overwriting changed the scenario"
rerecord alt+y
click_target
click_target
click_target
wait_for '[ "$(steps one)" -eq 3 ]' || e2e_fail "the re-recording has $(steps one) steps, not 3"
e2e_activate "$tw"
xdotool key ctrl+w
sleep 0.3

for round in $(seq 10); do
    if ((round % 2)); then focus=$pw; else focus=$tw; fi
    record "r$round" "$focus" 1
    # Alt+Q plays "a" (the first in the list) once.
    e2e_click "$pw" 40 $((page + 32))
    before=$(count "1000 400")
    e2e_activate "$focus"
    xdotool key alt+q
    wait_for "[ \$(count '1000 400') -gt $before ]" || e2e_fail "round $round: Alt+Q did not play"
    sleep 0.5
    # Alt+W stops the long "b".
    e2e_click "$pw" 40 $((page + 32))
    xdotool key Down
    sleep 0.3
    before=$(count "900 300")
    e2e_activate "$focus"
    xdotool key alt+q
    wait_for "[ \$(count '900 300') -gt $before ]" || e2e_fail "round $round: Alt+Q did not play b"
    e2e_activate "$focus"
    xdotool key alt+w
    sleep 0.2
    stopped=$(count "900 300")
    sleep 2
    [ "$(count "900 300")" -eq "$stopped" ] || e2e_fail "round $round: Alt+W did not stop the run"
    echo "round $round: ok"
done
echo "session: ok"
