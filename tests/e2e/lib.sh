#!/usr/bin/env bash
# Sourced by the end-to-end scripts, with their arguments PRESSMARK
# [CLICK_TARGET]: the X session of xsession.sh, an empty scenario folder
# ($scenarios) and the target's log ($log) in its temporary folder, and the
# start of the programs under test.
set -euo pipefail
pressmark=$1
target=${2:-}
source "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

scenarios=$x_tmp/scenarios
mkdir -p "$scenarios"
log=$x_tmp/target.log
# The window's pages start below the tab row.
page=20

# Starts the click target, logging into $log; sets tw to its window.
e2e_start_target() {
    "$target" "$log" &
    x_pids+=($!)
    tw=$(e2e_window ClickTarget)
}
# Starts the window on $scenarios, its messages in $x_tmp/pressmark.err;
# sets pw to the window and pw_pid to the process.
e2e_start_window() {
    "$pressmark" --scenarios "$scenarios" 2>"$x_tmp/pressmark.err" &
    pw_pid=$!
    x_pids+=("$pw_pid")
    pw=$(e2e_window "^Pressmark v")
}
# expect_exit CODE COMMAND...: runs the command, its output in $x_tmp/out and
# $x_tmp/err, and fails unless it ends with CODE.
expect_exit() {
    local want=$1
    shift
    local rc=0
    "$@" 2>"$x_tmp/err" >"$x_tmp/out" || rc=$?
    [ "$rc" -eq "$want" ] || e2e_fail "$* exited $rc, not $want: $(cat "$x_tmp/err")"
}
