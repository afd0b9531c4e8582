#!/usr/bin/env bash
# Pressmark on a headless mutter (GNOME's compositor) with PipeWire: --play
# clicks random pixels of a full-screen Qt program through GNOME's remote
# desktop, each checked at its pixel, types a text exactly, and reports the
# Cyrillic characters the active (US) layout cannot type; the window starts
# natively and ends on a signal while its start-up warning is open.
# Usage: mutter_session.sh PRESSMARK CLICK_TARGET
set -uo pipefail
pressmark=$1
target=$2

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
tmp=$(mktemp -d /tmp/pressmark-mutter.XXXXXX)
source "$(dirname "$0")/mutter_lib.sh"
cleanup() {
    mutter_stop
    rm -rf "$tmp"
}
trap cleanup EXIT
mutter_start "$tmp" || fail "no headless mutter"
log=$tmp/target.log
mutter_target "$target" "$log" || fail "no target"

# 300 clicks at random pixels below the text field, then one on the field
# with a text; a second run types Cyrillic, which the US layout has not.
scenarios=$tmp/scenarios
mkdir -p "$scenarios"
text='Hello, World! 1+1=2 ~@#$%^&*()_{}|:"<>?'
awk -v seed=11 -v text="$text" '
function norm(p, w) { n = p * 65535 - 32767; return int((n + w - 1) / w) }
BEGIN {
    srand(seed)
    printf "[sett]\r\nsleep=0\r\nrepeat=1\r\n" > "/dev/stderr"
    for (i = 1; i <= 300; i++) {
        x = int(rand() * 1280); y = 60 + int(rand() * 660)
        printf "%d %d\n", x, y
        printf "[%d]\r\nx=%d\r\ny=%d\r\nkey=1\r\n", i, norm(x, 1280), norm(y, 720) > "/dev/stderr"
    }
    printf "[301]\r\nx=%d\r\ny=%d\r\nkey=1\r\ntext=%s\r\n", norm(100, 1280), norm(35, 720),
        text > "/dev/stderr"
}' 2>"$scenarios/gnome.ini" >"$tmp/expected"
echo "100 35" >>"$tmp/expected"

"$pressmark" --scenarios "$scenarios" --play gnome 2>"$tmp/play.log" ||
    fail "--play failed: $(cat "$tmp/play.log")"
grep -qi 'xwayland' "$tmp/play.log" && fail "played through XWayland: $(cat "$tmp/play.log")"
for _ in $(seq 50); do
    [ "$(grep -c '^press' "$log")" -ge 301 ] && grep -qxF "text $text" "$log" && break
    sleep 0.1
done
wrong=$(diff <(awk '/^press/ { print $3, $4 }' "$log") "$tmp/expected" | grep -c '^[<>]')
[ "$wrong" -eq 0 ] || fail "$wrong presses off their pixel or missing"
got=$(grep '^text ' "$log" | tail -1)
[ "$got" = "text $text" ] || fail "typed \"${got#text }\", not \"$text\""
echo "301 clicks on their pixels, \"$text\" typed exactly"

{
    printf '[sett]\r\nsleep=0\r\n[1]\r\nx=%d\r\ny=%d\r\nkey=1\r\ntext=' \
        $((1000 * 65535 / 1280)) $((35 * 65535 / 720))
    printf 'ok Привет' | iconv -f UTF-8 -t CP1251
    printf '\r\n'
} >"$scenarios/cyrillic.ini"
"$pressmark" --scenarios "$scenarios" --play cyrillic 2>"$tmp/play.log" ||
    fail "--play cyrillic failed: $(cat "$tmp/play.log")"
grep -q 'пропущено: 6' "$tmp/play.log" || fail "the 6 untypable characters were not reported: \
$(cat "$tmp/play.log")"
got=$(grep '^text ' "$log" | tail -1)
[ "$got" = "text ${text}ok " ] || fail "typed \"${got#text }\" after the Cyrillic run"
echo "the Cyrillic characters the layout has not were reported, the others typed"

# The window: natively on Wayland, with its start-up warning (no hot keys
# here) open, it ends on SIGTERM.
PRESSMARK_SCENARIOS=$scenarios "$pressmark" >"$tmp/window.log" 2>&1 &
window=$!
sleep 3
kill -0 "$window" 2>/dev/null || fail "the window did not stay: $(cat "$tmp/window.log")"
kill -TERM "$window"
for _ in $(seq 50); do kill -0 "$window" 2>/dev/null || break; sleep 0.1; done
kill -0 "$window" 2>/dev/null && fail "the window did not end on SIGTERM"
wait "$window" 2>/dev/null
echo "the window ended on SIGTERM with its warning open"
