#!/usr/bin/env bash
# Playback at full speed (no delay between steps) under a window manager,
# which holds the pointer back while it handles a click: every press must
# land on its own step's pixel. Run under openbox, or E2E_WM.
# Usage: fast_play.sh PRESSMARK CLICK_TARGET
source "$(dirname "$0")/lib.sh"

# write NAME REPEAT STEPS POINT...: a scenario with no delay whose steps go
# round the points.
write() {
    local name=$1 repeat=$2 steps=$3 i p
    shift 3
    local xs=() ys=()
    for p in "$@"; do
        xs+=("$(e2e_norm "${p% *}" "$x_width")")
        ys+=("$(e2e_norm "${p#* }" "$x_height")")
    done
    {
        printf '[sett]\r\nsleep=0\r\nrepeat=%s\r\n' "$repeat"
        for ((i = 1; i <= steps; i++)); do
            p=$(((i - 1) % ${#xs[@]}))
            printf '[%d]\r\nx=%s\r\ny=%s\r\nkey=1\r\n' "$i" "${xs[p]}" "${ys[p]}"
        done
    } >"$scenarios/$name.ini"
}

e2e_start_target
sleep 0.5

# play NAME EXPECTED-COUNT POINT...: plays and checks each press's pixel.
play() {
    local name=$1 count=$2
    shift 2
    local points=("$@")
    : >"$log"
    local start=$EPOCHREALTIME
    "$pressmark" --scenarios "$scenarios" --play "$name" 2>/dev/null ||
        e2e_fail "$name: --play failed"
    echo "$name: $count presses in $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }') s"
    for _ in $(seq 100); do
        [ "$(grep -c '^press' "$log")" -ge "$count" ] && break
        sleep 0.1
    done
    local got
    got=$(grep -c '^press' "$log" || true)
    [ "$got" -eq "$count" ] || e2e_fail "$name: $got presses, not $count"
    local expected=$x_tmp/expected i
    for ((i = 0; i < count; i++)); do
        echo "press L ${points[$((i % ${#points[@]}))]}"
    done >"$expected"
    local wrong
    wrong=$(diff <(grep '^press' "$log") "$expected" | grep -c '^<' || true)
    [ "$wrong" -eq 0 ] || e2e_fail "$name under $x_wm: $wrong of $count presses off their pixel"
}

# Two steps 300 px apart, three times; then 4000 steps round three points.
write pair 3 2 "800 300" "1100 300"
play pair 6 "800 300" "1100 300"
write long 1 4000 "800 300" "1100 300" "1100 450"
play long 4000 "800 300" "1100 300" "1100 450"
echo "fast_play under $x_wm: ok"
