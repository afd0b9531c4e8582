#!/usr/bin/env bash
# pressmark.exe's command line under Wine: --list and --play print what the
# Linux program prints and end with its exit codes; --play clicks the
# recorded pixels of a Windows program and types the text into it; Alt+W
# stops a long run with no further click. Run by tests/win32/run, inside its
# Wine prefix and X server.
#   tests/win32/cli.sh BUILD_FOLDER
set -uo pipefail
build=$1
exe=$build/app/win32/pressmark.exe
target=$build/tests/win32/pressmark_win32_target.exe
fail() {
    echo "cli: FAILED: $*"
    [ -n "${target_pid:-}" ] && kill "$target_pid" 2>/dev/null
    exit 1
}

echo "--- pressmark.exe's command line under Wine"
tmp=$(mktemp -d /tmp/pressmark-cli.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
folder=$tmp/scenarios
mkdir -p "$folder"
winfolder=$(winepath -w "$folder" 2>/dev/null)
# On a 1280x1024 screen: (500, 500) and (400, 110), in the target at 100,100
# whose edit fills its top; the text is typed into the edit.
{
    printf '[sett]\r\nsleep=200\r\nrepeat=2\r\n'
    printf '[1]\r\nx=25600\r\ny=32000\r\nkey=1\r\n'
    printf '[2]\r\nx=20480\r\ny=7040\r\nkey=1\r\ntext='
    printf 'Ёлка' | iconv -f UTF-8 -t CP1251
    printf '\r\n'
} >"$folder/demo.ini"
printf '[sett]\r\nsleep=2000\r\nrepeat=100\r\n[1]\r\nx=25600\r\ny=32000\r\nkey=1\r\n' \
    >"$folder/long.ini"
cp "$folder/long.ini" "$folder/Ёлка.ini"

log=$tmp/target.log
wine "$target" --log "$(winepath -w "$log")" --title CliTarget --rect 100 100 800 600 \
    >/dev/null 2>&1 &
target_pid=$!
for _ in $(seq 100); do grep -q ready "$log" 2>/dev/null && break; sleep 0.1; done
grep -q ready "$log" 2>/dev/null || fail "the target did not start"
presses() { grep -c '^down L' "$log" || true; }

# Runs pressmark.exe with the arguments; its exit code must be the first.
expect_exit() {
    local want=$1
    shift
    local rc=0
    wine "$exe" "$@" >"$tmp/out" 2>"$tmp/err" || rc=$?
    tr -d '\r' <"$tmp/out" >"$tmp/out.txt"
    tr -d '\r' <"$tmp/err" >"$tmp/err.txt"
    echo "cli: $* -> $rc"
    [ "$rc" -eq "$want" ] || fail "$* exited $rc, not $want: $(cat "$tmp/err.txt")"
}

expect_exit 0 --scenarios "$winfolder" --list
[ "$(paste -sd '|' "$tmp/out.txt")" = "demo|long|Ёлка" ] || fail "--list: $(cat "$tmp/out.txt")"
expect_exit 0 --help
grep -q '^Usage: pressmark.exe' "$tmp/out.txt" || fail "--help: $(head -n 1 "$tmp/out.txt")"
expect_exit 2 --play demo --list
expect_exit 2 --scenarios 'C:\no\such\folder' --list
grep -q 'C:\\no\\such\\folder' "$tmp/err.txt" || fail "the missing folder is not named"
expect_exit 3 --scenarios "$winfolder" --play nothing
# A scenario over the reader's size limit is said to be too large: exit 3.
printf '[1]\r\nx=25600\r\ny=32000\r\nkey=1\r\n' >"$folder/huge.ini"
truncate -s $((256 * 1024 * 1024 + 1)) "$folder/huge.ini"
expect_exit 3 --scenarios "$winfolder" --play huge
grep -q 'Файл сценария слишком большой!' "$tmp/err.txt" || fail "too large: $(cat "$tmp/err.txt")"
rm "$folder/huge.ini"

: >"$log"
expect_exit 0 --scenarios "$winfolder" --play demo
[ "$(presses)" -eq 4 ] || fail "expected 4 clicks, saw $(presses): $(cat "$log")"
grep -qx 'down L 400 400' "$log" && grep -qx 'down L 300 10' "$log" ||
    fail "clicks on the wrong pixels: $(cat "$log")"
grep -qx 'text ЁлкаЁлка' "$log" || fail "the text was not typed twice: $(cat "$log")"
[ "$(paste -sd '|' "$tmp/err.txt")" = "step 1 of 2, repetition 1 of 2|step 2 of 2, repetition 1 of 2|step 1 of 2, repetition 2 of 2|step 2 of 2, repetition 2 of 2" ] ||
    fail "progress: $(cat "$tmp/err.txt")"

# A long run, by its Cyrillic name, stopped with Alt+W: exit 1, no click after.
: >"$log"
rc=0
wine "$exe" --scenarios "$winfolder" --play Ёлка --repeat 50 >/dev/null 2>"$tmp/err" &
pid=$!
for _ in $(seq 100); do [ "$(presses)" -ge 1 ] && break; sleep 0.1; done
[ "$(presses)" -ge 1 ] || fail "the long run made no click"
sleep 0.5
xdotool key alt+w
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "Alt+W did not stop the run"; }
wait "$pid" || rc=$?
[ "$rc" -eq 1 ] || fail "Alt+W: exit $rc, not 1"
grep -q 'repetition 1 of 50' "$tmp/err" || fail "--repeat 50 not taken: $(tr -d '\r' <"$tmp/err")"
sleep 2.5
[ "$(presses)" -eq 1 ] || fail "Alt+W: $(presses) clicks, not 1"
echo "cli: Alt+W stopped the run after 1 click, exit 1"

kill "$target_pid" 2>/dev/null
wait "$target_pid" 2>/dev/null
echo "cli: passed"
