#!/usr/bin/env bash
# Runs a command on a private Xvfb (and openbox with --wm), then stops them.
# Usage: with_xvfb.sh [--wm] [--screen WxHxD] [--] command [args...]
set -u
source "$(dirname "$0")/../../scripts/xserver.sh"
opts=(--screen 2560x1024x24)
while [ $# -gt 0 ]; do
    case $1 in
    --wm) opts+=(--wm openbox); shift ;;
    --screen) opts+=(--screen "$2"); shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done
xserver_start "${opts[@]}" || exit 1

"$@" &
child=$!
# Also when ctest stops us on a timeout: never leave a server behind.
trap 'kill $child 2>/dev/null; xserver_stop; exit 143' INT TERM
wait $child
rc=$?
xserver_stop
exit $rc
