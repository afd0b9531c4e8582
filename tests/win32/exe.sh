#!/usr/bin/env bash
# pressmark.exe under Wine, from outside: its window comes up with the
# table's caption and the folder's two scenarios in Flb1, each page can be
# shown (a screenshot of each is kept in the build folder), and closing the
# window ends the program with exit code 0. It links no runtime DLL of the
# compiler's. Run by tests/win32/run, inside its Wine prefix and X server.
#   tests/win32/exe.sh BUILD_FOLDER
set -uo pipefail
build=$1
exe=$build/app/win32/pressmark.exe
probe=$build/tests/win32/pressmark_win32_probe.exe
title="Pressmark v 2.0   "
shots=$build/screenshots
fail() {
    echo "exe: FAILED: $*"
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    exit 1
}

echo "--- pressmark.exe under Wine"
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
echo "exe: imports $(echo $dlls)"
if echo "$dlls" | grep -Eq 'libstdc|libgcc|winpthread|mingw'; then
    fail "links a compiler runtime DLL"
fi

folder=$(mktemp -d /tmp/pressmark-exe.XXXXXX)
printf '[sett]\r\n' >"$folder/beta.ini"
printf '[sett]\r\nrepeat=7\r\nComments=%s\r\n' "$(printf 'Проба' | iconv -f UTF-8 -t CP1251)" \
    >"$folder/Alpha.ini"
mkdir -p "$shots"
# Starts pressmark.exe on the folder and waits for its window: pid, window.
start_window() {
    PRESSMARK_SCENARIOS=$(winepath -w "$folder" 2>/dev/null) wine "$exe" >/dev/null 2>&1 &
    pid=$!
    window=
    for _ in $(seq 1 100); do
        window=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1)
        [ -n "$window" ] && break
        sleep 0.2
    done
    [ -n "$window" ] || fail "no window named \"$title\" $1"
}
start_window ""
echo "exe: window $window \"$(xdotool getwindowname "$window")\""
sleep 1

lists=$(wine "$probe" lists "$title" 2>/dev/null | tr -d '\r')
echo "$lists" | sed 's/^/exe: /'
[ "$(echo "$lists" | head -n 1)" = "list: Alpha.ini|beta.ini" ] ||
    fail "Flb1 does not hold the two scenarios in order"

# A click on Alpha.ini, Flb1's first row (the list at 8,24 on the page,
# below the caption and the tabs), loads its settings into re and m2.
eval "$(xdotool getwindowgeometry --shell "$window")"
width96=$WIDTH
height96=$HEIGHT
xdotool mousemove $((X + 32)) $((Y + 74)) click 1
sleep 1
edits=$(wine "$probe" edits "$title" 2>/dev/null | tr -d '\r')
echo "$edits" | head -n 2 | sed 's/^/exe: /'
[ "$(echo "$edits" | head -n 2 | paste -sd '|' -)" = "edit: 7|edit: Проба" ] ||
    fail "choosing Alpha.ini did not load its repeat count and description"

# The pages: a click on the first tab (below the caption) gives the tab
# control the focus, the arrow key moves to the next page.
xdotool mousemove $((X + 30)) $((Y + 30)) click 1
sleep 0.5
for page in 1 2 3; do
    import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$shots/page$page.png" || fail "no screenshot"
    xdotool key Right
    sleep 0.5
done
echo "exe: screenshots in $shots"

wine "$probe" close "$title" >/dev/null 2>&1 || fail "cannot close the window"
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
kill -0 "$pid" 2>/dev/null && fail "still running after WM_CLOSE"
wait "$pid"
code=$?
[ "$code" -eq 0 ] || fail "exit code $code"
echo "exe: closed, exit code 0"

# At 144 dots per inch (150 %) the window is half as large again, its
# controls with it; Wine takes the setting at its next start.
wine_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
        >/dev/null 2>&1
    wineserver -k
    wineserver -w
    wine cmd /c exit >/dev/null 2>&1
}
wine_dpi 144
start_window "at 144 dots per inch"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$shots/page1-150.png"
wine "$probe" close "$title" >/dev/null 2>&1
wait "$pid"
wine_dpi 96
rm -rf "$folder"
echo "exe: at 96 dpi ${width96}x$height96, at 144 dpi ${WIDTH}x$HEIGHT"
# The frame and the caption bar scale as Wine's own metrics do: the client
# area carries the 3/2, give or take the frame's few pixels.
[ $((WIDTH * 2)) -ge $((width96 * 3 - 12)) ] && [ $((WIDTH * 2)) -le $((width96 * 3 + 12)) ] ||
    fail "the window did not grow by half at 144 dots per inch"
