#!/usr/bin/env bash
# Makes the README's screenshots of the three pages from the real program on
# a private Xvfb with openbox and trayer: docs/scenarios.png,
# docs/recording.png, docs/help.png. Usage: docs/screenshots.sh [PRESSMARK]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pressmark=${1:-$root/build/pressmark}
if [ ! -x "$pressmark" ]; then
    cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
    ninja -C "$root/build" -j2 pressmark
fi
source "$root/tests/e2e/xsession.sh"

scenarios=$x_tmp/TH_Scenaries
mkdir -p "$scenarios"
{
    printf '[sett]\r\nsleep=1500\r\nrepeat=3\r\nComments='
    printf 'Открыть почту и обновить список писем' | iconv -f UTF-8 -t CP1251
    printf '\r\n[1]\r\nx=6000\r\ny=64000\r\nkey=1\r\n'
} >"$scenarios/Почта.ini"
printf '[sett]\r\nsleep=300\r\n' >"$scenarios/backup.ini"
printf '[sett]\r\nsleep=5000\r\nrepeat=10\r\n' >"$scenarios/Отчёт за день.ini"

"$pressmark" --scenarios "$scenarios" 2>/dev/null &
x_pids+=($!)
pw=$(e2e_window "Pressmark v 2.0")
page=20
shot() {
    xdotool mousemove 1200 900 # no hover highlight in the picture
    sleep 0.5
    import -frame -window "$pw" "$root/docs/$1.png"
    echo "docs/$1.png"
}
e2e_click "$pw" 40 $((page + 58)) # the third entry: Почта.ini
shot scenarios
e2e_click "$pw" 110 10
shot recording
e2e_click "$pw" 215 10
e2e_click "$pw" 40 $((page + 22))
shot help
