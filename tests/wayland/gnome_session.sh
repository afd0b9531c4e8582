#!/usr/bin/env bash
# Pressmark on a headless GNOME Shell with its extension, as a person uses
# it: the window as a native Wayland client; Ctrl+Q records clicks of both
# buttons on a full-screen Qt program (one on Pressmark's own window, not
# recorded), Ctrl+W stops, twice; Alt+Q plays the recording with every click
# on its pixel, Alt+W stops a long run; a Cyrillic text typed with the us,ru
# input sources into the Qt program and into a GTK 3 dialog, the US source
# back afterwards; the hot keys let go when Pressmark is killed.
# As root, through sudo when started by a user (GNOME Shell needs a system
# bus and /run/systemd hidden from it).
# Usage: gnome_session.sh PRESSMARK CLICK_TARGET MUTTER_INJECT EXTENSIONS_DIR
set -uo pipefail
if [ "$(id -u)" != 0 ]; then
    exec sudo -n "$0" "$@"
fi
pressmark=$1
target=$2
inject=$3
extensions=$4

fail() {
    echo "FAIL: $*" >&2
    [ -n "${tmp:-}" ] && "$inject" shot "$tmp/failed.png" 2>/dev/null &&
        cp "$tmp/failed.png" /tmp/pressmark-gnome-failed.png &&
        echo "screen: /tmp/pressmark-gnome-failed.png" >&2
    exit 1
}
tmp=$(mktemp -d /tmp/pressmark-gnome.XXXXXX)
source "$(dirname "$0")/mutter_lib.sh"
cleanup() {
    mutter_stop
    rm -rf "$tmp"
}
trap cleanup EXIT

major=$(gnome-shell --version | sed -n 's/^GNOME Shell \([0-9]*\).*/\1/p')
uuid=pressmark-legacy@pressmark.example
[ "${major:-0}" -ge 45 ] && uuid=pressmark@pressmark.example
gnome_start "$tmp" "$extensions/$uuid" || fail "no headless GNOME Shell"
shell() {
    gdbus call --session -d org.pressmark.Shell -o /org/pressmark/Shell \
        -m "org.pressmark.Shell.$1" "${@:2}"
}
for _ in $(seq 100); do
    shell GetPointer >/dev/null 2>&1 && break
    sleep 0.1
done
shell GetPointer >/dev/null 2>&1 || fail "the extension does not answer: $(grep -i pressmark "$tmp/mutter.log")"
log=$tmp/target.log
mutter_target "$target" "$log" || fail "no target"
presses() { grep -c '^press' "$log"; }
# The shell starts in its overview: clicks close it, until one reaches the
# target.
for _ in $(seq 10); do
    "$inject" pixel 640 400 click sleep 200
    [ "$(presses)" -gt 0 ] && break
done
[ "$(presses)" -gt 0 ] || fail "no click reached the target"
key() { "$inject" "$@" sleep 300; }
ctrl() { key down 29 key "$1" up 29; }
alt() { key down 56 key "$1" up 56; }
# Keys of a scenario's name, on the US layout.
name_keys() { local k=(); for c in $(grep -o . <<<"$1"); do
    case $c in d) k+=(key 32) ;; e) k+=(key 18) ;; m) k+=(key 50) ;; o) k+=(key 24) ;;
        t) k+=(key 20) ;; w) k+=(key 17) ;; esac; done; echo "${k[@]}"; }

scenarios=$tmp/scenarios
mkdir -p "$scenarios"
# "zlong", last in the list: a long run for Alt+W.
printf '[sett]\r\nsleep=500\r\nrepeat=100\r\n[1]\r\nx=%d\r\ny=%d\r\nkey=1\r\n' \
    $((1100 * 65535 / 1280)) $((600 * 65535 / 720)) >"$scenarios/zlong.ini"
PRESSMARK_SCENARIOS=$scenarios "$pressmark" >"$tmp/window.log" 2>&1 &
window=$!
mutter_pids+=($window)
# Ready once it holds Ctrl+Q: the extension refuses it to anyone else.
for _ in $(seq 100); do
    [ "$(shell GrabHotKeys "['<Control>q']" 2>/dev/null)" = "([false],)" ] && break
    sleep 0.1
done
[ "$(shell GrabHotKeys "['<Control>q']")" = "([false],)" ] ||
    fail "Pressmark did not take its hot keys: $(cat "$tmp/window.log")"
grep -q 'недоступ' "$tmp/window.log" && fail "a warning: $(cat "$tmp/window.log")"
# Pressmark's window: a pixel of it, and its top left corner (the first of
# its pixels along a row and a column through that one).
pid_at() { shell WindowPidAt "$1" "$2" | sed -n 's/.*uint32 \([0-9]*\).*/\1/p'; }
own=""
for _ in $(seq 50); do
    for p in "200 300" "300 300" "640 360"; do
        [ "$(pid_at $p)" = "$window" ] && own=$p && break 2
    done
    sleep 0.1
done
[ -n "$own" ] || fail "no pixel of Pressmark's window found"
read -r ox oy <<<"$own"
left=$ox top=$oy
while [ "$left" -gt 0 ] && [ "$(pid_at $((left - 1)) "$oy")" = "$window" ]; do left=$((left - 1)); done
while [ "$top" -gt 0 ] && [ "$(pid_at "$ox" $((top - 1)))" = "$window" ]; do top=$((top - 1)); done
echo "Pressmark's window from $left,$top"

# record NAME OWN X,Y,B...: Ctrl+Q, the name, Return, a click on Pressmark's
# own window when OWN is yes (it is in front then), the clicks (B: L or R),
# Ctrl+W; checks every step.
record() {
    local name=$1 own=$2 p x y b args=()
    shift 2
    ctrl 16
    sleep 0.5
    # shellcheck disable=SC2046
    key $(name_keys "$name") key 28
    sleep 0.5
    [ -f "$scenarios/$name.ini" ] || fail "Ctrl+Q did not start recording \"$name\""
    if [ "$own" = yes ]; then
        [ "$(pid_at "$ox" "$oy")" = "$window" ] || fail "Pressmark's window is not in front"
        args+=(pixel "$ox" "$oy" click sleep 100)
    fi
    for p in "$@"; do
        IFS=, read -r x y b <<<"$p"
        args+=(pixel "$x" "$y" "$([ "$b" = R ] && echo rclick || echo click)" sleep 100)
    done
    "$inject" "${args[@]}" down 29 key 17 up 29 sleep 300
    # Each step: the pixel times 65535 over the extent, rounded.
    tr -d '\r' <"$scenarios/$name.ini" | awk -v want="$*" '
        /^\[[0-9]+\]$/ { n++ } /^x=/ { x[n] = substr($0, 3) } /^y=/ { y[n] = substr($0, 3) }
        /^key=/ { k[n] = substr($0, 5) }
        function off(a, b) { d = a - b; return d < 0 ? -d : d }
        END {
            m = split(want, p, " ")
            if (n != m) { printf "%d steps, not %d\n", n, m; exit 1 }
            for (i = 1; i <= m; i++) {
                split(p[i], c, ",")
                if (off(x[i], c[1] * 65535 / 1280) > 0.5000001 ||
                    off(y[i], c[2] * 65535 / 720) > 0.5000001 || k[i] != (c[3] == "R" ? 2 : 1)) {
                    printf "step %d: x=%s y=%s key=%s, not %s\n", i, x[i], y[i], k[i], p[i]
                    exit 1
                }
            }
        }' >"$tmp/check" || fail "\"$name\": $(cat "$tmp/check")"
}

clicks=("1000,500,L")
awk 'BEGIN { srand(7); for (i = 0; i < 24; i++)
    printf "%d,%d,%s\n", int(rand() * 1280), 60 + int(rand() * 660), i % 3 ? "L" : "R" }' \
    >"$tmp/random"
mapfile -t -O 1 clicks <"$tmp/random"
record demo yes "${clicks[@]}"
echo "Ctrl+Q, Ctrl+W: ${#clicks[@]} clicks of both buttons recorded at their pixels, the own one not"
record two no "700,200,L" "1279,719,R" "0,60,L"
echo "Ctrl+Q, Ctrl+W again: 3 more"

# Alt+Q plays the scenario chosen in the list: "demo" (then "two", "zlong").
list_row() { "$inject" pixel $((left + 30)) $((top + 81 + 13 * $1)) click sleep 300; }
# Pressmark's window is behind the target now: Alt+Tab brings it back.
alt 15
[ "$(pid_at $((left + 30)) $((top + 81)))" = "$window" ] || fail "Alt+Tab did not bring Pressmark's window to the front"
list_row 0
: >"$log"
alt 16
for _ in $(seq 100); do
    [ "$(presses)" -ge ${#clicks[@]} ] && break
    sleep 0.1
done
want=$(printf '%s\n' "${clicks[@]}" | awk -F, '{ print "press", $3, $1, $2 }')
got=$(grep '^press' "$log")
[ "$got" = "$want" ] || fail "Alt+Q played:
$got
not:
$want"
echo "Alt+Q: ${#clicks[@]} clicks played, each on its pixel"

list_row 2
: >"$log"
alt 16
for _ in $(seq 50); do [ "$(presses)" -ge 2 ] && break; sleep 0.1; done
alt 17
sleep 1.5
n=$(presses)
sleep 1.5
[ "$n" -ge 2 ] && [ "$(presses)" -eq "$n" ] || fail "Alt+W did not stop the long run: $n, then $(presses) clicks"
echo "Alt+W stopped the long run after $n clicks"

# A Cyrillic text: the Russian input source while it is typed, the US one
# back after.
text='ok Привет, Ёж! № 5 done'
{
    printf '[sett]\r\nsleep=0\r\n[1]\r\nx=%d\r\ny=%d\r\nkey=1\r\ntext=' \
        $((100 * 65535 / 1280)) $((35 * 65535 / 720))
    printf '%s' "$text" | iconv -f UTF-8 -t CP1251
    printf '\r\n'
} >"$tmp/cyrillic.ini"
mkdir -p "$tmp/plays" && cp "$tmp/cyrillic.ini" "$tmp/plays/"
"$inject" pixel 900 400 click sleep 200 # the target in front
"$pressmark" --scenarios "$tmp/plays" --play cyrillic >"$tmp/play.log" 2>&1 ||
    fail "--play cyrillic: $(cat "$tmp/play.log")"
"$inject" key 30 sleep 300
got=$(grep '^text ' "$log" | tail -1)
[ "$got" = "text ${text}a" ] || fail "typed \"${got#text }\", not \"${text}a\""
echo "\"$text\" typed exactly, the US source back after it"

# The same into a GTK 3 dialog, wherever the shell put it.
if command -v zenity >/dev/null; then
    GDK_BACKEND=wayland zenity --entry --title GtkTarget >"$tmp/gtk.out" 2>/dev/null &
    gtk=$!
    mutter_pids+=($gtk)
    # Any pixel of it, then the middle of its extent (its text entry).
    at=""
    for _ in $(seq 20); do
        for y in $(seq 20 40 700); do for x in $(seq 20 40 1260); do
            [ "$(pid_at $x $y)" = "$gtk" ] && at="$x $y" && break 3
        done; done
        sleep 0.2
    done
    [ -n "$at" ] || fail "the GTK dialog is not on the screen"
    read -r ax ay <<<"$at"
    edge() { # edge X Y DX DY: the last pixel of the dialog from X,Y that way
        local x=$1 y=$2
        while [ "$(pid_at $((x + $3)) $((y + $4)))" = "$gtk" ]; do x=$((x + $3)) y=$((y + $4)); done
        echo "$x $y"
    }
    read -r x0 _ <<<"$(edge "$ax" "$ay" -2 0)"
    read -r x1 _ <<<"$(edge "$ax" "$ay" 2 0)"
    gx=$(((x0 + x1) / 2))
    read -r _ y0 <<<"$(edge "$gx" "$ay" 0 -2)"
    read -r _ y1 <<<"$(edge "$gx" "$ay" 0 2)"
    gy=$(((y0 + y1) / 2))
    {
        printf '[sett]\r\nsleep=0\r\n[1]\r\nx=%d\r\ny=%d\r\nkey=1\r\ntext=' \
            $((gx * 65535 / 1280)) $((gy * 65535 / 720))
        printf 'Ёж' | iconv -f UTF-8 -t CP1251
        printf '\r\n'
    } >"$tmp/plays/gtk.ini"
    "$pressmark" --scenarios "$tmp/plays" --play gtk >"$tmp/play.log" 2>&1 ||
        fail "--play gtk: $(cat "$tmp/play.log")"
    key key 28
    for _ in $(seq 30); do kill -0 "$gtk" 2>/dev/null || break; sleep 0.1; done
    [ "$(cat "$tmp/gtk.out")" = "Ёж" ] || fail "the GTK dialog got \"$(cat "$tmp/gtk.out")\""
    echo "\"Ёж\" typed into a GTK 3 dialog"
fi

# Killed, Pressmark leaves no hot key behind.
kill -KILL "$window"
wait "$window" 2>/dev/null
sleep 0.5
[ "$(shell GrabHotKeys "['<Control>q']")" = "([true],)" ] ||
    fail "the hot keys are still held after Pressmark was killed"
echo "the hot keys let go when Pressmark was killed"
