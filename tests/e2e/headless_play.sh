#!/usr/bin/env bash
# The command line's player end to end: progress on standard error, the
# clicks and the text on the target, --repeat, Ctrl+C and Alt+W stopping a
# run, and the exit codes.
# Usage: headless_play.sh PRESSMARK CLICK_TARGET
source "$(dirname "$0")/lib.sh"

# Two steps on the target (its empty area, then its text field, typing
# "Ёлка"), a base delay of 200 ms, two repetitions.
{
    printf '[sett]\r\nsleep=200\r\nrepeat=2\r\n'
    printf '[1]\r\nx=51200\r\ny=25600\r\nkey=1\r\n'
    printf '[2]\r\nx=40960\r\ny=12160\r\nkey=1\r\ntext=' 
    printf 'Ёлка' | iconv -f UTF-8 -t CP1251
    printf '\r\n'
} >"$scenarios/demo.ini"
printf '[sett]\r\nsleep=2000\r\nrepeat=100\r\n[1]\r\nx=51200\r\ny=25600\r\nkey=1\r\n' \
    >"$scenarios/long.ini"
e2e_start_target
presses() { grep -c '^press L' "$log" || true; }

expect_exit 0 "$pressmark" --scenarios "$scenarios" --list
[ "$(cat "$x_tmp/out")" = "$(printf 'demo\nlong')" ] || e2e_fail "--list: $(cat "$x_tmp/out")"

expect_exit 0 "$pressmark" --scenarios "$scenarios" --play demo
[ "$(presses)" -eq 4 ] || e2e_fail "expected 4 clicks, saw $(presses)"
grep -qx 'press L 1000 400' "$log" && grep -qx 'press L 800 190' "$log" ||
    e2e_fail "clicks on the wrong pixels: $(cat "$log")"
grep -qx 'text ЁлкаЁлка' "$log" || e2e_fail "the text was not typed twice: $(cat "$log")"
diff <(cat "$x_tmp/err") <(printf '%s\n' "step 1 of 2, repetition 1 of 2" \
    "step 2 of 2, repetition 1 of 2" "step 1 of 2, repetition 2 of 2" \
    "step 2 of 2, repetition 2 of 2") || e2e_fail "progress lines differ"

: >"$log"
expect_exit 0 "$pressmark" --scenarios "$scenarios" --play demo.ini --repeat 1
[ "$(presses)" -eq 2 ] || e2e_fail "--repeat 1 gave $(presses) clicks"

# Ctrl+C (SIGINT) and Alt+W stop a long run at once: exit 1, no further click.
for stopper in sigint altw; do
    : >"$log"
    rc=0
    "$pressmark" --scenarios "$scenarios" --play long 2>"$x_tmp/err" &
    pid=$!
    for _ in $(seq 50); do [ "$(presses)" -ge 1 ] && break; sleep 0.1; done
    sleep 0.5
    if [ $stopper = sigint ]; then kill -INT "$pid"; else xdotool key alt+w; fi
    wait "$pid" || rc=$?
    [ "$rc" -eq 1 ] || e2e_fail "$stopper: exit $rc, not 1"
    sleep 2.5
    [ "$(presses)" -eq 1 ] || e2e_fail "$stopper: $(presses) clicks, not 1"
done

# A folder named on the command line that does not exist: named, exit 2,
# nothing created.
for args in "--list" "--play demo"; do
    # shellcheck disable=SC2086
    expect_exit 2 "$pressmark" --scenarios "$x_tmp/mistyped/path" $args
    grep -q "$x_tmp/mistyped/path" "$x_tmp/err" || e2e_fail "$args: the folder is not named"
    [ ! -e "$x_tmp/mistyped" ] || e2e_fail "$args created the folder"
done

# Every name --list shows plays: a code page 1251 name from a Windows archive,
# an upper-case suffix, a name the prompt would refuse, and Почта saved in
# both encodings, told apart by the mark of the 1251 one (which plays twice).
names=$x_tmp/names
mkdir -p "$names"
step='[1]\r\nx=51200\r\ny=25600\r\nkey=1\r\n'
# shellcheck disable=SC2059
for n in "$(printf 'Ёлка' | iconv -f UTF-8 -t CP1251).ini" "UP.INI" "a:b.ini" "Почта.ini"; do
    printf "$step" >"$names/$n"
done
# shellcheck disable=SC2059
printf "[sett]\r\nrepeat=2\r\n$step" >"$names/$(printf 'Почта' | iconv -f UTF-8 -t CP1251).ini"
expect_exit 0 "$pressmark" --scenarios "$names" --list
[ "$(cat "$x_tmp/out")" = "$(printf 'a:b\nUP\nЁлка\nПочта\nПочта (cp1251)')" ] ||
    e2e_fail "--list: $(cat "$x_tmp/out")"
while read -r name; do
    : >"$log"
    expect_exit 0 "$pressmark" --scenarios "$names" --play "$name"
    want=1
    [ "$name" = "Почта (cp1251)" ] && want=2
    [ "$(presses)" -eq $want ] || e2e_fail "--play $name: $(presses) clicks, not $want"
done <"$x_tmp/out"

# What cannot be read is said, exit 3: a scenario, the folder (as a plain
# user: root reads everything).
chmod 0711 "$x_tmp"
chmod 0755 "$names"
chmod 0600 "$names/UP.INI"
expect_exit 3 setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$pressmark" --scenarios "$names" --play UP
grep -q "Не удалось прочитать сценарий!" "$x_tmp/err" || e2e_fail "unreadable: $(cat "$x_tmp/err")"
chmod 0700 "$names"
expect_exit 3 setpriv --reuid=65534 --regid=65534 --clear-groups \
    "$pressmark" --scenarios "$names" --list
grep -q "cannot be read" "$x_tmp/err" || e2e_fail "unreadable folder: $(cat "$x_tmp/err")"

# A proxy change the settings cannot keep ends the run: exit 5.
printf '[1]\r\nx=51200\r\ny=25600\r\nkey=1\r\nsetproxy=proxy.example:8080\r\n' \
    >"$scenarios/proxy.ini"
expect_exit 5 env GSETTINGS_BACKEND=memory "$pressmark" --scenarios "$scenarios" --play proxy
grep -q "Failed to set data for 'ProxyServer'" "$x_tmp/err" || e2e_fail "proxy: $(cat "$x_tmp/err")"
rm "$scenarios/proxy.ini"

# The scenario deleted while it plays: the run ends, exit 3, no click after.
cp "$scenarios/long.ini" "$scenarios/doomed.ini"
: >"$log"
rc=0
"$pressmark" --scenarios "$scenarios" --play doomed 2>"$x_tmp/err" &
pid=$!
for _ in $(seq 50); do [ "$(presses)" -ge 1 ] && break; sleep 0.1; done
rm "$scenarios/doomed.ini"
wait "$pid" || rc=$?
[ "$rc" -eq 3 ] || e2e_fail "deleted during its run: exit $rc, not 3"
grep -q "Сценарий не найден!" "$x_tmp/err" || e2e_fail "deleted: $(cat "$x_tmp/err")"
[ "$(presses)" -eq 1 ] || e2e_fail "deleted during its run: $(presses) clicks, not 1"

# A scenario over the reader's size limit is said to be too large: exit 3.
printf '%b' "$step" >"$scenarios/huge.ini"
truncate -s $((256 * 1024 * 1024 + 1)) "$scenarios/huge.ini"
expect_exit 3 "$pressmark" --scenarios "$scenarios" --play huge
grep -q "Файл сценария слишком большой!" "$x_tmp/err" || e2e_fail "too large: $(cat "$x_tmp/err")"
rm "$scenarios/huge.ini"

expect_exit 3 "$pressmark" --scenarios "$scenarios" --play nosuch
grep -q "nosuch" "$x_tmp/err" || e2e_fail "the message does not name the scenario"
expect_exit 2 "$pressmark" --play demo --repeat zero
grep -q "zero" "$x_tmp/err" || e2e_fail "the message does not name the bad value"
expect_exit 2 "$pressmark" --frobnicate
expect_exit 4 env -u DISPLAY "$pressmark" --scenarios "$scenarios" --play demo
expect_exit 4 env DISPLAY=:999 "$pressmark" --scenarios "$scenarios" --play demo
echo "headless_play: ok"
