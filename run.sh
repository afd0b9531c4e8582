#!/usr/bin/env bash
# Installs what is missing, builds, and starts Pressmark on the user's display.
# Without a display it starts a private Xvfb with a window manager and a tray
# host, starts the program there, saves a screenshot and keeps running until
# interrupted. Arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

./scripts/deps.sh run
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPRESSMARK_TESTS=OFF >/dev/null
ninja -C "$root/build" -j2 pressmark

if [ -n "${DISPLAY:-}" ]; then
    exec "$root/build/pressmark" "$@"
fi

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT INT TERM

display=:77
while [ -e "/tmp/.X11-unix/X${display#:}" ] || [ -e "/tmp/.X${display#:}-lock" ]; do
    display=":$(( ${display#:} + 1 ))"
done
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
Xvfb "$display" -screen 0 1280x1024x24 -noreset -nolisten tcp &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
pids+=($!)
sleep 0.5

"$root/build/pressmark" "$@" &
pids+=($!)
app=$!
sleep 2
shot="$root/build/pressmark-screen.png"
import -window root "$shot" 2>/dev/null && echo "Pressmark runs on the private display $DISPLAY; screenshot: $shot"
echo "Press Ctrl+C to stop."
wait "$app"
