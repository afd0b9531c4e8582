#!/usr/bin/env bash
# pressmark.exe under Wine, used as a person uses it, in one run of the
# program: records twice with the hot keys (the name typed into its dialog,
# clicks on the target program, "Послать текст" with a Cyrillic text, a
# press on its own window that must not count, presses of 0, 5 and 500 ms),
# plays the first recording twice with Alt+Q, stops a long run with Alt+W,
# records once more with "Сворачивать при начале записи" (to the tray and
# back by a press on the tray icon), minimises by the title bar and is
# brought back by a second start of the program, which exits 0.
# Before all that, with Wine's own notepad as a second target: every kind of
# box comes up in front of the main window, and a text typed while recording
# and on playback (repeated three times) goes whole into notepad and nothing
# into the other program. That part runs once more under openbox, with the
# windows managed: where the window manager decides focus and stacking.
# Run by tests/win32/run, inside its Wine prefix and X server (no window
# manager: the keyboard focus follows the pointer, so keys are pressed with
# the pointer on the window that is to have them).
#   tests/win32/session.sh BUILD_FOLDER [none|openbox]
set -uo pipefail
build=$1
wm=${2:-none}
exe=$build/app/win32/pressmark.exe
probe=$build/tests/win32/pressmark_win32_probe.exe
target=$build/tests/win32/pressmark_win32_target.exe
title="Pressmark v 2.0   "
tx=760 ty=100 tw=440 th=300 # the target's rectangle; its EDIT is the bottom 28 pixels
rest="1180 120"             # a spot on the target that no step clicks
tmp=$(mktemp -d /tmp/pressmark-session.XXXXXX)
folder=$tmp/scenarios log=$tmp/target.log
pids=()
fail() {
    echo "session ($wm): FAILED: $*"
    echo "session: in front: $(p foreground -)"
    import -window root "$build/screenshots/session-failed-$wm.png" 2>/dev/null
    for q in "${pids[@]}"; do kill "$q" 2>/dev/null; done
    [ "$wm" = none ] || wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        >/dev/null 2>&1
    exit 1
}
say() { echo "session ($wm): $*"; }
p() { wine "$probe" "$1" "${2:-$title}" ${3:+"$3"} 2>/dev/null | tr -d '\r'; }
state() { p state; }
# Clicks the control, list item or tab of pressmark's window that reads $1.
click_on() {
    local at=""
    for _ in $(seq 20); do
        at=$(p point "$title" "$1") && break
        at=""
        sleep 0.1
    done
    [ -n "$at" ] || fail "nothing in the window reads \"$1\""
    set -- ${at#point: }
    xdotool mousemove "$1" "$2" sleep 0.1 click 1 sleep 0.3
}
# A hot key as a hand makes it, the pointer resting on the target first:
# keys pressed while Wine still takes in the pointer's leaving our window
# lost their modifier now and then, and the hot key with it.
chord() {
    xdotool mousemove $rest sleep 0.5 keydown "$1" sleep 0.1 key "$2" sleep 0.1 keyup "$1" sleep 0.3
}
window_named() { # waits for a visible window whose name is exactly $1
    local id
    for _ in $(seq 50); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
        [ -n "$id" ] && echo "$id" && return 0
        sleep 0.1
    done
    return 1
}
gone() { # waits until no visible window is named exactly $1
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
# Answers a dialog: the pointer on it, the text, then the key; the pointer
# goes back onto the target as it closes, where what follows is typed.
answer() {
    local caption=$1 text=$2 key=${3:-Return} dlg
    dlg=$(window_named "$caption") || fail "no dialog \"$caption\""
    eval "$(xdotool getwindowgeometry --shell "$dlg")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) sleep 0.2
    # Without a window manager, Wine hands the X keyboard focus to a window
    # as it activates it; the prompt, activated as the main window hides and
    # Wine activates the program clicked before, may be left without it
    # (Wine takes the prompt for the foreground, the keys go to the other
    # program). A window manager gives the focus to the window in front: so
    # do we here, where there is none, and say so.
    local focus
    focus=$(xdotool getwindowfocus 2>/dev/null)
    if [ "$wm" = none ] && [ -n "$focus" ] && [ "$focus" != "$dlg" ]; then
        say "the keyboard is on \"$(xdotool getwindowname "$focus" 2>/dev/null)\", not on \"$caption\": focused as a window manager would"
        xdotool windowfocus "$dlg" sleep 0.2
    fi
    if [ -n "$text" ]; then
        # xdotool types a character missing from the keymap through a key
        # it remaps, and Wine, reading the map again, can miss one typed
        # quickly: slowly, and checked (and typed again when one was lost),
        # so that a lost key is not taken for the program's fault.
        local typed
        for _ in 1 2 3; do
            xdotool type --delay 100 "$text"
            for _ in $(seq 10); do
                typed=$(p edits "$caption" | head -n 1)
                [ "$typed" = "edit: $text" ] && break 2
                sleep 0.1
            done
            xdotool key End key --repeat 40 --delay 20 BackSpace
        done
        [ "$typed" = "edit: $text" ] || fail "xdotool's typing reached \"$caption\" as \"$typed\""
    fi
    xdotool sleep 0.2 key "$key" mousemove $rest
    gone "$caption" || fail "the dialog \"$caption\" stays open"
}
# Presses the button $2 of the box $1, as a user who sees it does.
press_button() {
    local at
    window_named "$1" >/dev/null || fail "no box \"$1\""
    at=$(p point "$1" "$2") || fail "the box \"$1\" has no button \"$2\""
    xdotool mousemove ${at#point: } sleep 0.1 click 1 mousemove $rest
    gone "$1" || fail "the box \"$1\" stays open"
}
# A press on the target at a client position, held for $3 seconds.
press() {
    xdotool mousemove $((tx + $1)) $((ty + $2)) mousedown 1 ${3:+sleep "$3"} mouseup 1 sleep 0.3
}
presses() { grep -c '^down L' "$log"; }
wait_presses() { # waits until the target has logged $1 presses in all
    for _ in $(seq 100); do [ "$(presses)" -ge "$1" ] && return 0; sleep 0.1; done
    return 1
}
edit_text() { p edits Target | head -n 1 | sed 's/^edit: //'; }
notepad_text() { p edits "$notepad" | head -n 1 | sed 's/^edit: //'; }
# The name of the top-level window under the pointer, as the X server
# stacks them (a window manager's frame stands for the window in it).
name_under_pointer() {
    local w
    w=$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')
    xwininfo -tree -id "$w" |
        sed -n 's/^xwininfo: Window id: 0x[0-9a-f]* "\(.*\)"$/\1/p; s/^ *0x[0-9a-f]* "\([^"]*\)": .*/\1/p' |
        head -n 1
}
# Fails unless the box named $1 is what shows at its centre and at its four
# corners: in front of every window, the main window that stays on top of
# all included. Keeps a screenshot, $2-$wm.png in the build folder.
in_front() {
    local box at name
    box=$(window_named "$1") || fail "no box \"$1\""
    sleep 0.3
    import -window root "$build/screenshots/$2-$wm.png"
    # xwininfo, not xdotool: the place of a window in a frame, exactly.
    eval "$(xwininfo -id "$box" | sed -n 's/^ *Absolute upper-left \([XY]\): *\(-*[0-9]*\)$/\1=\2/p
        s/^ *Width: *\([0-9]*\)$/WIDTH=\1/p; s/^ *Height: *\([0-9]*\)$/HEIGHT=\1/p')"
    for at in "$((X + WIDTH / 2)) $((Y + HEIGHT / 2))" "$((X + 2)) $((Y + 2))" \
        "$((X + WIDTH - 3)) $((Y + 2))" "$((X + 2)) $((Y + HEIGHT - 3))" \
        "$((X + WIDTH - 3)) $((Y + HEIGHT - 3))"; do
        xdotool mousemove $at
        name=$(name_under_pointer)
        [ "$name" = "$1" ] || fail "the box \"$1\" is under \"$name\" at $at"
    done
}
steps() { grep -c '^\[[0-9]' "$1"; }
norm() { echo $((($1 * 65535 - 32767 + $2 - 1) / $2)); } # a coordinate that plays on pixel $1
pixel() { echo $((($1 * $2 + 32767) / 65535)); }          # the pixel coordinate $1 plays on

# Closes pressmark.exe, which must end with 0, and what the session started.
finish() {
    local code
    p close >/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    wait "$pid"
    code=$?
    [ "$code" -eq 0 ] || fail "pressmark.exe exited with $code"
    for q in "${pids[@]}"; do kill "$q" 2>/dev/null; done
    if [ "$wm" != none ]; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    fi
    rm -rf "$tmp"
    say "ok"
}

echo "--- pressmark.exe: a session under Wine ($wm window manager)"
mkdir -p "$folder" "$build/screenshots"
if [ "$wm" != none ]; then
    "$wm" --sm-disable >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.05
    done
    # Wine's windows managed: placed, stacked and focused by openbox.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d Y /f >/dev/null 2>&1
fi
# A tray host along the bottom edge: Wine docks the icons there, as on a
# desktop. (Without one, Wine shows them in a window of its own, which is
# activated in turn like any window and takes the keyboard.)
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 0.5
# One step at the target's (200, 100), a base delay of 1.5 s, 100 times.
printf '[sett]\r\nsleep=1500\r\nrepeat=100\r\n[1]\r\nx=%s\r\ny=%s\r\nkey=1\r\n' \
    "$(norm $((tx + 200)) 1280)" "$(norm $((ty + 100)) 1024)" >"$folder/long.ini"
wine "$target" --log "$(winepath -w "$log" 2>/dev/null)" --title Target \
    --rect $tx $ty $tw $th >/dev/null 2>&1 &
pids+=($!)
PRESSMARK_SCENARIOS=$(winepath -w "$folder" 2>/dev/null) wine "$exe" >/dev/null 2>&1 &
pid=$!
pids+=($pid)
window_named "$title" >/dev/null || window_named "$title" >/dev/null ||
    fail "no window named \"$title\""
for _ in $(seq 50); do grep -q ready "$log" 2>/dev/null && break; sleep 0.1; done
# Wine's notepad at the bottom left, clear of the boxes at the screen's
# centre and of the target.
for v in "X 20" "Y 600" "DX 600" "DY 300"; do
    set -- $v
    wine reg add 'HKCU\Software\Microsoft\Notepad' /v "iWindowPos$1" /t REG_DWORD /d "$2" /f \
        >/dev/null 2>&1
done
: >"$tmp/note.txt"
wine notepad "$(winepath -w "$tmp/note.txt" 2>/dev/null)" >/dev/null 2>&1 &
notepad_pid=$!
pids+=($notepad_pid)
notepad=$(xdotool getwindowname "$(window_named 'note.txt - .*')" 2>/dev/null) ||
    fail "no notepad window"
sleep 2 # until the programs are idle

# --- Every box in front of the main window: the name prompt, the notice of
# a cancelled name, the refusal of an action without a recording.
chord ctrl q
in_front "Новый сценарий" prompt
answer "Новый сценарий" "" Escape
in_front Pressmark notice
press_button Pressmark OK # "Не задано имя сценария!"
[ ! -e "$folder/demo.ini" ] || fail "a cancelled name made a scenario"
click_on "Запись сценария"
click_on "Послать текст"
in_front Error error
press_button Error OK

# --- Texts into notepad, after a click on the target's EDIT: while
# recording, and then on playback three times over.
chord ctrl q
answer "Новый сценарий" note
before=$(edit_text)
press 390 286 # the EDIT
xdotool mousemove 320 750 click 1 sleep 0.3
click_on "Послать текст"
answer "Настройки действия" "Привет, мир"
for _ in $(seq 30); do [ "$(notepad_text)" = "Привет, мир" ] && break; sleep 0.1; done
sleep 0.5 # nothing more comes
say "typed while recording: notepad \"$(notepad_text)\", target \"$(edit_text)\""
[ "$(notepad_text)" = "Привет, мир" ] || fail "the recorded text did not arrive whole in notepad"
[ "$(edit_text)" = "$before" ] || fail "the recorded text went to the target too"
chord ctrl w
sed -i 's/^\[sett\]\r$/[sett]\r\nrepeat=3\r/' "$folder/note.ini"
click_on Сценарии
click_on note.ini
chord alt q
want=Привет,\ мирПривет,\ мирПривет,\ мирПривет,\ мир
for _ in $(seq 100); do [ "$(notepad_text)" = "$want" ] && break; sleep 0.1; done
sleep 1
say "typed on playback: notepad \"$(notepad_text)\", target \"$(edit_text)\""
[ "$(notepad_text)" = "$want" ] || fail "the played text did not arrive whole three times in notepad"
[ "$(edit_text)" = "$before" ] || fail "the played text went to the target too"

# --- The delete question in front too; answered Yes, it deletes.
click_on note.ini
click_on Удалить
in_front Confirm confirm
press_button Confirm "&Yes"
[ ! -e "$folder/note.ini" ] || fail "\"Удалить\" answered Yes left note.ini"
if [ "$wm" != none ]; then
    finish
    exit 0
fi
# What follows was written for the target alone: notepad goes.
kill "$notepad_pid"
gone "$notepad" || fail "notepad stays"

# --- The first recording: three clicks, then the EDIT and "Послать текст".
click_on "Запись сценария"
: >"$log"
chord ctrl q
answer "Новый сценарий" demo
# The recording writes its file once the dialog has closed: a moment later.
for _ in $(seq 50); do [ -f "$folder/demo.ini" ] && break; sleep 0.1; done
[ -f "$folder/demo.ini" ] || fail "Ctrl+Q after the notice did not start a recording"
press 40 50
press 240 150
press 390 250
press 390 286 # the EDIT
click_on "Запись сценария"
click_on "Послать текст"
answer "Настройки действия" "Привет, мир"
for _ in $(seq 30); do [ "$(edit_text)" = "Привет, мир" ] && break; sleep 0.1; done
say "typed while recording: \"$(edit_text)\""
[ "$(edit_text)" = "Привет, мир" ] || fail "the text did not arrive in the target's EDIT"
chord ctrl w
recorded=$(grep '^down L' "$log")
say "recorded presses: $(echo $recorded)"
file=$folder/demo.ini
say "demo.ini: $(tr -d '\r' <"$file" | paste -sd ' ' - | iconv -f CP1251 -t UTF-8)"
[ "$(steps "$file")" -eq 4 ] || fail "demo.ini holds $(steps "$file") steps, not 4"
grep -q "^text=$(printf 'Привет, мир' | iconv -f UTF-8 -t CP1251)"$'\r'"\$" "$file" ||
    fail "demo.ini has no text key in code page 1251"
[ "$(sed -n '/^\[4\]/,$p' "$file" | grep -c '^text=')" -eq 1 ] ||
    fail "the text is not on the last step"

# --- demo.ini twice with Alt+Q: the same presses, the text typed again.
click_on Сценарии
click_on demo.ini
for run in 1 2; do
    : >"$log"
    before=$(edit_text)
    chord alt q
    # The EDIT takes the fourth press itself: three are logged.
    wait_presses 3 || fail "run $run: $(presses) presses, not 3"
    for _ in $(seq 50); do [ "$(edit_text)" = "$before"'Привет, мир' ] && break; sleep 0.1; done
    sleep 1 # nothing more comes
    say "run $run: presses $(grep '^down L' "$log" | paste -sd ' ' -), EDIT \"$(edit_text)\""
    [ "$(grep '^down L' "$log")" = "$recorded" ] || fail "run $run did not press the recorded pixels"
    [ "$(edit_text)" = "$before"'Привет, мир' ] || fail "run $run did not type the text once"
done

# --- A long run stopped by Alt+W: no press after it.
click_on long.ini
: >"$log"
chord alt q
wait_presses 2 || fail "the long run did not start"
chord alt w
stopped=$(presses)
sleep 3.5
say "long run: $stopped presses before Alt+W, $(presses) after 3.5 s more"
[ "$(presses)" -eq "$stopped" ] || fail "presses went on after Alt+W"

# --- The second recording: presses of 0, 5 and 500 ms, one on pressmark's
# own window (not a step), one outside (a step).
click_on "Запись сценария"
: >"$log"
chord ctrl q
answer "Новый сценарий" press
# Under load the recording may begin a moment after the dialog has gone:
# its file is written just before the presses are taken.
for _ in $(seq 50); do [ -f "$folder/press.ini" ] && break; sleep 0.1; done
sleep 0.3
press 100 60
press 200 60 0.005
press 300 60 0.5
click_on "Горячие клавиши"
press 100 200
chord ctrl w
file=$folder/press.ini
# Each step as the pixel it plays on, in the target's client coordinates.
got=$(tr -d '\r' <"$file" | sed -n 's/^\([xy]\)=//p' | paste -d ' ' - - |
    while read -r x y; do echo "$(($(pixel "$x" 1280) - tx)),$(($(pixel "$y" 1024) - ty))"; done |
    paste -sd ' ' -)
say "press.ini plays on: $got"
[ "$got" = "100,60 200,60 300,60 100,200" ] ||
    fail "press.ini plays on \"$got\", not on the four presses outside"

# --- "Сворачивать при начале записи": the recording starts in the tray; a
# press on the tray icon brings the window back.
tray_icon() { # the centre of our icon, Wine's window docked in the tray host
    local id info
    for id in $(xwininfo -root -tree | awk '/\("explorer.exe" "explorer.exe"\)/ {print $1}'); do
        info=$(xwininfo -id "$id")
        grep -q IsViewable <<<"$info" || continue
        eval "$(xdotool getwindowgeometry --shell "$id")"
        [ "$Y" -ge 990 ] && echo $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) && return 0
    done
    fail "no tray icon in the tray host"
}
restore_by_tray() {
    xdotool mousemove $(tray_icon) sleep 0.1 click 1 sleep 0.5
    say "after a press on the tray icon: $(state)"
    [ "$(state)" = "state: visible=1 iconic=0 foreground=1" ] ||
        fail "the tray icon did not bring the window back in front"
}
click_on "Запись сценария"
click_on "Сворачивать при начале записи"
chord ctrl q
answer "Новый сценарий" tray
sleep 0.5
say "recording with the box ticked: $(state)"
[[ "$(state)" = "state: visible=0 iconic=1"* ]] || fail "the window did not go to the tray"
press 50 50
chord ctrl w
[ "$(steps "$folder/tray.ini")" -eq 1 ] || fail "tray.ini holds $(steps "$folder/tray.ini") steps, not 1"
restore_by_tray
click_on "Сворачивать при начале записи"

# --- The title bar's minimise goes to the tray too; a second start of the
# program brings the window back and ends with 0. The icon survives a
# shell's "TaskbarCreated".
eval "$(xdotool getwindowgeometry --shell "$(window_named "$title")")"
xdotool mousemove $((X + WIDTH - 46)) $((Y + 11)) sleep 0.1 click 1 sleep 0.5
say "after the title bar's minimise: $(state)"
[[ "$(state)" = "state: visible=0 iconic=1"* ]] || fail "minimising did not go to the tray"
timeout 20 wine "$exe" >/dev/null 2>&1
code=$?
sleep 0.5
say "a second pressmark.exe exited with $code: $(state)"
[ "$code" -eq 0 ] || fail "the second start exited with $code"
[ "$(state)" = "state: visible=1 iconic=0 foreground=1" ] ||
    fail "the second start did not bring the window back in front"
[ "$(xdotool search --name "^$title\$" | wc -l)" -eq 1 ] || fail "a second window was made"
p taskbar-created >/dev/null
sleep 0.3
xdotool mousemove $((X + WIDTH - 46)) $((Y + 11)) sleep 0.1 click 1 sleep 0.5
[[ "$(state)" = "state: visible=0 iconic=1"* ]] || fail "no tray after TaskbarCreated"
restore_by_tray

import -window root "$build/screenshots/session.png"
finish
# The part that depends on focus and stacking once more, under openbox.
exec "$0" "$build" openbox
