#!/usr/bin/env bash
# Installs what is missing, builds, and starts Pressmark on the user's display.
# Without a display it starts a private Xvfb with a window manager and a tray
# host, starts the program there, saves a screenshot and keeps running until
# interrupted. Arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

./scripts/deps.sh run
# The same build folder as ./test.sh, with the same settings: only the
# program is built here, so the tests cost nothing, and neither command
# undoes the other's configuration.
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPRESSMARK_TESTS=ON >/dev/null
ninja -C "$root/build" -j2 pressmark

if [ -n "${DISPLAY:-}" ]; then
    exec "$root/build/pressmark" "$@"
fi

source "$root/scripts/xserver.sh"
xserver_start --wm openbox --tray
trap 'xserver_stop; exit 130' INT TERM

"$root/build/pressmark" "$@" &
app=$!
xserver_pids+=($app)
sleep 2
shot="$root/build/pressmark-screen.png"
import -window root "$shot" 2>/dev/null && echo "Pressmark runs on the private display $DISPLAY; screenshot: $shot"
echo "Press Ctrl+C to stop."
wait "$app"
