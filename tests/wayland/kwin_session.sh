#!/usr/bin/env bash
# Pressmark on a headless KWin: --play clicks random pixels of a Qt program
# through KWin's fake input, each checked at its pixel, then types a Russian
# text through the user's layouts (us,ru), which are as they were afterwards;
# then the window records with Ctrl+Q and Ctrl+W through the overlay (a click
# on its own window not recorded), and the recording plays back; last, a run
# stops on Alt+W taken through the desktop's global-shortcuts portal.
# KWin offers fake input only to a program whose desktop entry asks for it:
# the session has one for the built program and one for the injector that
# stands for the user's mouse and keyboard.
# Usage: kwin_session.sh PRESSMARK CLICK_TARGET KWIN_INJECT
set -uo pipefail
pressmark=$1
target=$2
inject=$3

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
tmp=$(mktemp -d /tmp/pressmark-kwin.XXXXXX)
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do
        kill -- -"$p" 2>/dev/null || kill "$p" 2>/dev/null
    done
    # KWin writes its settings as it goes: the folder goes after it has.
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

# Debian's kwin_wayland carries a file capability that a container or VM
# without CAP_SYS_RESOURCE refuses to run: a copy has none, and keeps the
# name (KWin's own Qt platform plugin checks it).
kwin=$(command -v kwin_wayland) || fail "kwin_wayland is not installed (kwin-wayland)"
mkdir -p "$tmp/bin" "$tmp/run" "$tmp/home/.config" "$tmp/home/.local/share/applications"
cp "$kwin" "$tmp/bin/kwin_wayland"
chmod 700 "$tmp/run"
export HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run XDG_CONFIG_HOME=$tmp/home/.config
export XDG_DATA_HOME=$tmp/home/.local/share XDG_CACHE_HOME=$tmp/home/.cache
export WAYLAND_DISPLAY=wayland-pm KWIN_COMPOSE=Q
unset DISPLAY QT_QPA_PLATFORM
printf '[Layout]\nLayoutList=us,ru\nUse=true\n' >"$XDG_CONFIG_HOME/kxkbrc"
for program in "$pressmark" "$inject"; do
    cat >"$XDG_DATA_HOME/applications/$(basename "$program")-test.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=$(basename "$program")
Exec=$(readlink -f "$program")
X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input
EOF
done

# One session bus for KWin and the programs; the bus address is kept for
# the steps below.
setsid dbus-run-session -- bash -c "echo \$DBUS_SESSION_BUS_ADDRESS >'$tmp/bus'
    kbuildsycoca5 >/dev/null 2>&1
    # The desktop's portal, started by the bus when first asked, serves KDE
    # (its global shortcuts) and shows its windows on this display.
    dbus-update-activation-environment XDG_CURRENT_DESKTOP=KDE QT_QPA_PLATFORM=wayland
    exec '$tmp/bin/kwin_wayland' --virtual --width 1280 --height 720 \
        --socket $WAYLAND_DISPLAY --no-lockscreen" >"$tmp/kwin.log" 2>&1 &
pids+=($!)
for _ in $(seq 150); do
    [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && [ -s "$tmp/bus" ] && break
    sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] || {
    cat "$tmp/kwin.log" >&2
    fail "KWin did not start"
}
DBUS_SESSION_BUS_ADDRESS=$(cat "$tmp/bus")
export DBUS_SESSION_BUS_ADDRESS
layout() {
    dbus-send --session --print-reply --dest=org.kde.keyboard /Layouts \
        org.kde.KeyboardLayouts.getLayout | awk '/uint32/ { print $2 }'
}

log=$tmp/target.log
: >"$log"
QT_QPA_PLATFORM=wayland "$target" --rect 0,0,800,500 --title ClickTarget "$log" &
pids+=($!)
for _ in $(seq 100); do
    grep -q '^ready' "$log" && break
    sleep 0.1
done
grep -q '^ready' "$log" || fail "the click target did not start"

# Runs a KWin script (JavaScript in $1); what it prints goes to KWin's log.
kwin_script() {
    local name=s$RANDOM$RANDOM id
    printf '%s\n' "$1" >"$tmp/$name.js"
    id=$(dbus-send --session --print-reply --dest=org.kde.KWin /Scripting \
        org.kde.kwin.Scripting.loadScript string:"$tmp/$name.js" string:"$name" |
        awk '/int32/ { print $2 }')
    dbus-send --session --print-reply --dest=org.kde.KWin "/$id" org.kde.kwin.Script.run >/dev/null
    dbus-send --session --print-reply --dest=org.kde.KWin /Scripting \
        org.kde.kwin.Scripting.unloadScript string:"$name" >/dev/null
}
# where CAPTION: the window's frame "X Y WIDTH HEIGHT", as KWin has it.
where() {
    local mark=WHERE$RANDOM$RANDOM
    kwin_script "var all = workspace.clientList();
for (var i = 0; i < all.length; i++) {
    if (all[i].caption == '$1') {
        var g = all[i].frameGeometry;
        print('$mark ' + g.x + ' ' + g.y + ' ' + g.width + ' ' + g.height);
    }
}"
    for _ in $(seq 20); do
        grep -aq "$mark " "$tmp/kwin.log" && break
        sleep 0.1
    done
    grep -a "$mark " "$tmp/kwin.log" | tail -1 | sed "s/.*$mark //"
}
read -r tx ty tw th < <(where ClickTarget)
[ -n "${th:-}" ] || fail "KWin did not tell where the target is"

# 300 clicks at random pixels of the target, then one on its text field
# with a text: Latin, Cyrillic and signs of both layouts.
text='Привет, World! Ёж № 100%'
scenarios=$tmp/scenarios
mkdir -p "$scenarios"
awk -v seed=7 -v tx="$tx" -v ty="$ty" -v tw="$tw" -v th="$th" -v text="$text" '
function norm(p, w) { n = p * 65535 - 32767; return int((n + w - 1) / w) }
BEGIN {
    srand(seed)
    printf "[sett]\r\nsleep=0\r\nrepeat=1\r\n" > "/dev/stderr"
    for (i = 1; i <= 300; i++) {
        x = tx + int(rand() * tw); y = ty + 60 + int(rand() * (th - 60))
        printf "%d %d\n", x - tx, y - ty
        printf "[%d]\r\nx=%d\r\ny=%d\r\nkey=1\r\n", i, norm(x, 1280), norm(y, 720) > "/dev/stderr"
    }
    printf "[301]\r\nx=%d\r\ny=%d\r\nkey=1\r\ntext=%s\r\n", norm(tx + 100, 1280),
        norm(ty + 35, 720), text > "/dev/stderr"
}' 2>"$tmp/utf8.ini" >"$tmp/expected"
iconv -f UTF-8 -t CP1251 "$tmp/utf8.ini" >"$scenarios/kwin.ini" || fail "iconv"

"$pressmark" --scenarios "$scenarios" --play kwin 2>"$tmp/play.log" ||
    fail "--play failed: $(cat "$tmp/play.log")"
grep -qi 'xwayland' "$tmp/play.log" && fail "played through XWayland: $(cat "$tmp/play.log")"
for _ in $(seq 50); do
    [ "$(grep -c '^press' "$log")" -ge 301 ] && grep -qxF "text $text" "$log" && break
    sleep 0.1
done
echo "100 35" >>"$tmp/expected"
wrong=$(diff <(awk '/^press/ { print $3, $4 }' "$log") "$tmp/expected" | grep -c '^[<>]')
[ "$wrong" -eq 0 ] || fail "$wrong presses off their pixel or missing"
got=$(grep '^text ' "$log" | tail -1)
[ "$got" = "text $text" ] || fail "typed \"${got#text }\", not \"$text\""
[ "$(layout)" = 0 ] || fail "the layout was left at $(layout), not the user's 0"
echo "301 clicks on their pixels, \"$text\" typed exactly, the layout back at us"

# Killed while typing Cyrillic, a run leaves the Russian layout active; the
# next start gives the user the layout back.
{
    printf '[sett]\r\nsleep=0\r\n[1]\r\nx=%d\r\ny=%d\r\nkey=1\r\ntext=' \
        "$(((tx + 100) * 65535 / 1280))" "$(((ty + 35) * 65535 / 720))"
    for _ in $(seq 300); do printf 'Привет'; done | iconv -f UTF-8 -t CP1251
    printf '\r\n'
} >"$scenarios/long.ini"
printf '[sett]\r\nsleep=0\r\n' >"$scenarios/empty.ini"
: >"$log"
"$pressmark" --scenarios "$scenarios" --play long 2>/dev/null &
long=$!
for _ in $(seq 100); do grep -q '^text .*Пр' "$log" && break; sleep 0.05; done
kill -KILL "$long"
wait "$long" 2>/dev/null || true
[ "$(layout)" = 1 ] || fail "killed while typing, the run left layout $(layout), not the Russian 1"
"$pressmark" --scenarios "$scenarios" --play empty 2>/dev/null || fail "the next run did not play"
[ "$(layout)" = 0 ] || fail "the next start left layout $(layout), not the user's 0"
echo "a run killed while typing: the next start gave the user's layout back"

# Recording: the window with the target beside it, Ctrl+Q and a name, two
# clicks on the target and one on the window, Ctrl+W.
PRESSMARK_SCENARIOS=$scenarios "$pressmark" >"$tmp/window.log" 2>&1 &
window=$!
pids+=($window)
wh=""
for _ in $(seq 30); do
    read -r wx wy ww wh < <(where "Pressmark v 2.0")
    [ -n "${wh:-}" ] && break
done
[ -n "${wh:-}" ] || fail "the window did not open: $(cat "$tmp/window.log")"
kwin_script "var all = workspace.clientList();
for (var i = 0; i < all.length; i++) {
    if (all[i].caption == 'ClickTarget') {
        all[i].frameGeometry = {x: $((wx + ww + 10)), y: $wy, width: 300, height: 400};
    }
}"
sleep 0.5
read -r tx ty tw th < <(where ClickTarget)
"$inject" down 29 key 16 up 29 sleep 1000 key 19 key 18 key 46 sleep 200 key 28 sleep 500 ||
    fail "the injector cannot reach KWin"
: >"$log"
"$inject" pixel $((tx + 50)) $((ty + 100)) click sleep 300 \
    pixel $((tx + 250)) $((ty + 350)) click sleep 300 \
    pixel $((wx + ww / 2)) $((wy + wh - 20)) click sleep 300 \
    down 29 key 17 up 29 sleep 500
recorded=$(awk '/^press/ { printf "%s %s ", $3, $4 }' "$log")
[ "$recorded" = "50 100 250 350 " ] || fail "the overlay passed on \"$recorded\", not the two clicks"
[ -f "$scenarios/rec.ini" ] || fail "Ctrl+Q, Ctrl+W recorded nothing: $(ls "$scenarios")"
steps=$(grep -c '^\[[0-9]' "$scenarios/rec.ini")
[ "$steps" -eq 2 ] || fail "$steps steps recorded, not the 2 clicks on the target"
: >"$log"
"$pressmark" --scenarios "$scenarios" --play rec 2>"$tmp/play.log" ||
    fail "--play rec failed: $(cat "$tmp/play.log")"
sleep 0.5
played=$(awk '/^press/ { printf "%s %s ", $3, $4 }' "$log")
[ "$played" = "50 100 250 350 " ] || fail "the recording played \"$played\""
echo "recorded through the overlay: the 2 clicks on the target, not the window's own; played back"

# The hot keys through the desktop's global-shortcuts portal, as where the
# compositor has no service of its own: with the window gone (it holds the
# chords in KDE's service), a long run stops on Alt+W.
kill "$window" && wait "$window" 2>/dev/null
{
    printf '[sett]\r\nsleep=100\r\n'
    for i in $(seq 200); do printf '[%d]\r\nx=%d\r\ny=%d\r\nkey=1\r\n' "$i" \
        "$(((tx + 50) * 65535 / 1280))" "$(((ty + 100) * 65535 / 720))"; done
} >"$scenarios/slow.ini"
PRESSMARK_HOTKEYS=portal "$pressmark" --scenarios "$scenarios" --play slow 2>"$tmp/play.log" &
slow=$!
bound=""
for _ in $(seq 100); do
    bound=$(dbus-send --session --print-reply --dest=org.kde.kglobalaccel \
        /component/pressmark_portal org.kde.kglobalaccel.Component.shortcutNames 2>/dev/null |
        grep -c hotkey)
    [ "$bound" = 1 ] && break
    sleep 0.1
done
[ "$bound" = 1 ] || fail "the portal did not bind Alt+W: $(cat "$tmp/play.log")"
sleep 1
"$inject" down 56 key 17 up 56 sleep 200
for _ in $(seq 50); do kill -0 "$slow" 2>/dev/null || break; sleep 0.1; done
kill -0 "$slow" 2>/dev/null && fail "Alt+W through the portal did not stop the run"
grep -q 'stopped' "$tmp/play.log" || fail "the run ended otherwise: $(cat "$tmp/play.log")"
echo "Alt+W through the portal stopped a run after $(grep -c '^press' "$log") of 200 clicks"
