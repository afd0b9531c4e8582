#!/usr/bin/env bash
# Texts typed on playback arrive in the program clicked at their step, with
# real programs in turn (a terminal, a GTK entry dialog, a GTK editor), at
# two speeds and on a busy machine. Under openbox, or E2E_WM.
# Usage: type_programs.sh PRESSMARK
source "$(dirname "$0")/lib.sh"

# Starts the three programs, each at its own place; sets pt_<name> to a
# point inside each.
start_programs() {
    out=$x_tmp/out.$1
    mkdir -p "$out"
    xterm -T term-target -geometry 50x10+10+10 \
        -e bash -c "IFS= read -r l; printf '%s' \"\$l\" >'$out/term'" &
    x_pids+=($!)
    zenity --entry --title=entry-target --text=text >"$out/entry" 2>/dev/null &
    x_pids+=($!)
    : >"$out/editor.txt"
    mousepad --disable-server "$out/editor.txt" >/dev/null 2>&1 &
    x_pids+=($!)
    local w
    w=$(e2e_window term-target)
    xdotool windowmove --sync "$w" 10 10
    w=$(e2e_window entry-target)
    xdotool windowmove --sync "$w" 600 10
    w=$(e2e_window editor.txt)
    xdotool windowmove --sync "$w" 10 450
    xdotool windowsize --sync "$w" 700 400
    sleep 1
    pt_term="150 80"
    eval "$(xdotool getwindowgeometry --shell "$(e2e_window entry-target)")"
    pt_entry="$((X + WIDTH / 2)) $((Y + HEIGHT / 2))"
    eval "$(xdotool getwindowgeometry --shell "$(e2e_window editor.txt)")"
    pt_editor="$((X + WIDTH / 2)) $((Y + HEIGHT / 2))"
}

# Collects what each program got, closes them.
collect() {
    xdotool windowactivate --sync "$(e2e_window term-target)"
    e2e_wait_focus "$(e2e_window term-target)" || true
    xdotool key Return
    local w
    w=$(e2e_window entry-target)
    xdotool windowactivate --sync "$w"
    e2e_wait_focus "$w" || true
    xdotool key Return
    w=$(e2e_window editor.txt)
    xdotool windowactivate --sync "$w"
    e2e_wait_focus "$w" || true
    xdotool key ctrl+s
    sleep 1
    xdotool key ctrl+q
    for _ in $(seq 50); do
        [ -s "$out/term" ] && [ -s "$out/entry" ] && break
        sleep 0.1
    done
    sleep 0.5
}

# write NAME SLEEP: seven steps in turn on the programs, each with a text.
write() {
    local name=$1 sleep=$2 i=0 p text
    {
        printf '[sett]\r\nsleep=%s\r\nrepeat=1\r\n' "$sleep"
        for step in term:a1 entry:b2 editor:c3 term:d4 entry:e5 editor:f6 term:g7; do
            i=$((i + 1))
            p=pt_${step%%:*}
            p=${!p}
            text=${step#*:}
            printf '[%d]\r\nx=%s\r\ny=%s\r\nkey=1\r\ntext=%s\r\n' "$i" \
                "$(e2e_norm "${p% *}" "$x_width")" "$(e2e_norm "${p#* }" "$x_height")" "$text"
        done
    } >"$scenarios/$name.ini"
}

# A run as a person makes it; the base delay 10000 - speed.
trial() {
    local label=$1 sleep=$2
    start_programs "$label"
    write "t$label" "$sleep"
    "$pressmark" --scenarios "$scenarios" --play "t$label" 2>/dev/null ||
        e2e_fail "$label: --play failed"
    collect
    local got
    got="$(cat "$out/term") | $(head -c 100 "$out/entry" | tr -d '\n') | $(tr -d '\n' <"$out/editor.txt")"
    [ "$got" = "a1d4g7 | b2e5 | c3f6" ] || e2e_fail "$label under $x_wm: got '$got'"
    echo "$label: $got"
}

trial fast 300
trial slow 1500
busy=()
for _ in 1 2 3 4 5 6; do
    sh -c 'while :; do :; done' &
    busy+=($!)
done
x_pids+=("${busy[@]}")
trial busy 300
kill "${busy[@]}"
echo "type_programs under $x_wm: ok"
