#!/usr/bin/env bash
# Ended by a signal while it types (a hang-up, the system's "terminate", the
# terminal's quit key), the program ends the ordinary way: the keycodes it
# borrowed for Cyrillic are given back, and the window closes.
# Usage: signals.sh PRESSMARK CLICK_TARGET
source "$(dirname "$0")/lib.sh"

{
    printf '[sett]\r\nsleep=200\r\nrepeat=1\r\n[1]\r\nx=40960\r\ny=12160\r\nkey=1\r\ntext='
    for _ in $(seq 120); do printf 'Привет'; done | iconv -f UTF-8 -t CP1251
    printf '\r\n'
} >"$scenarios/long.ini"
e2e_start_target
borrowed() { xmodmap -pke | grep -c 'Cyrillic' || true; }
[ "$(borrowed)" -eq 0 ] || e2e_fail "Cyrillic keys mapped before the test"

for sig in HUP TERM QUIT; do
    : >"$log"
    "$pressmark" --scenarios "$scenarios" --play long 2>/dev/null &
    pid=$!
    for _ in $(seq 100); do grep -q '^text П' "$log" && break; sleep 0.02; done
    grep -q '^text П' "$log" || e2e_fail "SIG$sig: typing did not start"
    kill -"$sig" "$pid"
    rc=0
    wait "$pid" || rc=$?
    [ "$rc" -le 1 ] || e2e_fail "SIG$sig: --play ended with $rc, not the ordinary way"
    [ "$(borrowed)" -eq 0 ] || e2e_fail "SIG$sig: $(borrowed) keycodes still mapped to Cyrillic"
done

# Killed outright, it can give nothing back: the next start does.
printf '[sett]\r\nsleep=0\r\n' >"$scenarios/empty.ini"
: >"$log"
"$pressmark" --scenarios "$scenarios" --play long 2>/dev/null &
pid=$!
for _ in $(seq 100); do grep -q '^text П' "$log" && break; sleep 0.02; done
kill -KILL "$pid"
wait "$pid" 2>/dev/null || true
[ "$(borrowed)" -gt 0 ] || e2e_fail "SIGKILL: no Cyrillic keycodes were left to give back"
"$pressmark" --scenarios "$scenarios" --play empty 2>/dev/null ||
    e2e_fail "the next run did not play"
[ "$(borrowed)" -eq 0 ] || e2e_fail "the next run left $(borrowed) keycodes of a killed one"

e2e_start_window
kill -TERM "$pw_pid"
rc=0
wait "$pw_pid" || rc=$?
[ "$rc" -eq 0 ] || e2e_fail "the window ended with $rc on SIGTERM, not 0"
echo "signals: ok"
