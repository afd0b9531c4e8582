#!/usr/bin/env bash
# Records a scenario with the hot keys and the recording page's "Послать
# текст", clicking on a target program, then replays it with Alt+Q: the clicks
# land on the same pixels and the Cyrillic text is typed again. Then records
# many rounds of a click and a delay: no press on our buttons becomes a step.
# Usage: record_play.sh PRESSMARK CLICK_TARGET
source "$(dirname "$0")/lib.sh"

e2e_start_target
e2e_start_window

# Ctrl+Q from the target program, then the name.
e2e_activate "$tw"
xdotool key ctrl+q
e2e_answer "Новый сценарий" "demo"
sleep 0.3
# Two clicks on the target: an empty spot, then its text field.
xdotool mousemove 1000 400 click 1
sleep 0.3
xdotool mousemove 800 190 click 1
sleep 0.3
# The recording page and its "Послать текст" (our own clicks are not recorded).
e2e_click "$pw" 110 10
e2e_click "$pw" 304 $((page + 100))
e2e_answer "Настройки действия" "Привет, мир"
sleep 0.5
xdotool key ctrl+w
sleep 0.5

file=$scenarios/demo.ini
[ -f "$file" ] || e2e_fail "no scenario file"
text=$(iconv -f CP1251 -t UTF-8 "$file" | tr -d '\r')
echo "$text"
sections=$(grep -c '^\[[0-9]' "$file")
[ "$sections" -eq 2 ] || e2e_fail "expected 2 steps, found $sections"
echo "$text" | grep -qx 'text=Привет, мир' || e2e_fail "the step has no text"
cat "$log" >&2
typed_while_recording=no
grep -qx 'text Привет, мир' "$log" && typed_while_recording=yes

# Replay: clear the target, select the scenario, Alt+Q. Pressmark first: the
# window manager may still be busy with its return after the prompt and name
# the target active from before, and only a request it has to answer anew
# shows that it has caught up.
: >"$log"
e2e_activate "$pw"
e2e_activate "$tw"
xdotool mousemove 800 190 click 1 key ctrl+a BackSpace
sleep 0.3
: >"$log"
e2e_click "$pw" 20 10
e2e_click "$pw" 40 $((page + 32))
e2e_activate "$tw"
xdotool key alt+q
for _ in $(seq 60); do
    grep -qx 'text Привет, мир' "$log" && break
    sleep 0.1
done
cat "$log" >&2
grep -qx 'text Привет, мир' "$log" || e2e_fail "the text was not typed on replay"
[ "$(grep -c '^press L 1000 400$' "$log")" -eq 1 ] || e2e_fail "first click not replayed on its pixel"
[ "$(grep -c '^press L 800 190$' "$log")" -eq 1 ] || e2e_fail "second click not replayed on its pixel"

# Rounds in one recording of a click on the target, "Вставить задержку"
# answered 100, then a press on an empty part of the recording page. The
# button hides the window at once, and a press on it is ours all the same:
# each round leaves one step, with the delay.
rounds=${E2E_ROUNDS:-25}
# Ctrl+Q starts nothing while the replay is still ending.
for _ in $(seq 10); do
    e2e_activate "$tw"
    xdotool key ctrl+q
    for _ in $(seq 20); do
        xdotool search --onlyvisible --name "Новый сценарий" >/dev/null 2>&1 && break 2
        sleep 0.1
    done
done
e2e_answer "Новый сценарий" "trial"
e2e_click "$pw" 110 10
for ((i = 0; i < rounds; i++)); do
    xdotool mousemove $((760 + i % 20 * 20)) $((260 + i / 20 * 40)) click 1
    sleep 0.15
    # Moved onto the button and pressed at once, as a quick hand does: Qt
    # handles the press, its release and the hiding in one go.
    xdotool mousemove --window "$pw" 304 $((page + 132)) click 1
    dlg=$(e2e_window "Настройки действия")
    xdotool windowactivate --sync "$dlg" 2>/dev/null || true
    e2e_wait_focus "$dlg" || true
    xdotool type "100"
    xdotool key Return
    e2e_no_window "Настройки действия"
    e2e_window "Pressmark v 2.0" >/dev/null
    e2e_click "$pw" 300 $((page + 320))
done
e2e_activate "$tw"
xdotool key ctrl+w
sleep 0.5
file=$scenarios/trial.ini
sections=$(grep -c '^\[[0-9]' "$file" || true)
delays=$(grep -c '^sleep=100' "$file" || true)
# Ours is left of the target: no step there.
ours=$(tr -d '\r' <"$file" | awk -F= -v edge="$(e2e_norm 700 "$x_width")" \
    '$1 == "x" && $2 < edge { n++ } END { print n + 0 }')
[ "$sections" -eq "$rounds" ] && [ "$delays" -eq "$rounds" ] && [ "$ours" -eq 0 ] ||
    e2e_fail "$rounds rounds left $sections steps, $ours of them on Pressmark, and $delays delays of 100"

# Checked last, so that a failure here does not hide the replay's outcome.
[ "$typed_while_recording" = yes ] || e2e_fail "the text was not typed while recording"
echo "record_play: ok"
