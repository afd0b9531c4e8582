#!/usr/bin/env bash
# Pressmark as a native Wayland client on a headless sway, used as a person
# uses it, with real Wayland programs from Debian as its targets: the Qt
# click target, a GTK 3 entry (zenity) and the foot terminal.
# Usage: sway_session.sh PRESSMARK CLICK_TARGET WAYLAND_SEAT
source "$(dirname "$0")/lib.sh"
pressmark=$(wl_stage "$1")
target=$(wl_stage "$2")
wl_start "$3" \
    'for_window [title="^entry-target$"] floating enable, move absolute position 20 450' \
    'for_window [app_id="^term-target$"] floating enable, move absolute position 440 570'

log=$wl_dir/target.out
scenarios=$wl_dir/scenarios
mkdir -p "$scenarios"
: >"$log"
[ -z "$wl_user" ] || chown "$wl_user:" "$log" "$scenarios"
# The target's text field, and a point inside each other program.
pt_qt="800 185"
pt_gtk="120 500"
pt_term="500 600"
sentence='Съешь же ещё этих мягких французских булок, да выпей чаю. Ёж № 42 — «ёлка»!'
# Every printable character of code page 1251 (all but the controls and 0x98).
all1251=$(for b in $(seq 32 126) $(seq 128 151) $(seq 153 255); do
    printf '%b' "\\x$(printf %02x "$b")"
done | iconv -f CP1251 -t UTF-8)

# The Qt target's presses since the log was emptied, and its last text.
presses() { grep '^press' "$log" || true; }
qt_text() { sed -n 's/^text //p' "$log" | tail -n1; }
# start_gtk: a GTK 3 entry dialog, which prints its text when OK ends it.
start_gtk() {
    rm -f "$wl_dir/gtk.log"
    wl_spawn gtk zenity --entry --title=entry-target --text=text
    wl_window '.name == "entry-target"' >/dev/null
}
# gtk_text: OK clicked (at the dialog's lower right; Return typed by wtype
# does not reach GTK's default button), then what the dialog printed.
gtk_text() {
    local x y w h
    read -r x y w h <<<"$(wl_window '.name == "entry-target"')"
    wl_click $((x + w - 54)) $((y + h - 25))
    wl_wait 10 sh -c "! kill -0 $(wl_pid gtk) 2>/dev/null" || wl_fail "the GTK entry did not close"
    tail -n1 "$wl_dir/gtk.log" # after GTK's own messages, if any
}
# start_term FILE: foot, raw, writing every byte typed into FILE.
start_term() {
    term_file=$wl_dir/$1
    : >"$term_file"
    [ -z "$wl_user" ] || chown "$wl_user:" "$term_file"
    wl_spawn term foot --app-id term-target --window-size-pixels=400x120 \
        sh -c "stty raw -echo; exec cat >'$term_file'"
    wl_window '.app_id == "term-target"' >/dev/null
}
# term_text COUNT: what foot passed on once it has COUNT characters, or after 10 s.
term_text() {
    wl_wait 10 sh -c "[ \$(wc -m <'$term_file') -ge $1 ]" || true
    cat "$term_file"
}
# same WHAT GOT WANTED: fails loudly unless identical.
same() {
    [ "$2" = "$3" ] && return 0
    echo "wanted: $3" >&2
    echo "got:    $2" >&2
    wl_fail "$1: the text differs"
}

wl_say "the harness alone: the seat's cursor and wtype reach every target (no Pressmark yet)"
wl_spawn target "$target" --rect 720,150,500,400 "$log"
wl_window '.name == "ClickTarget"' >/dev/null
wl_wait 10 grep -q '^ready' "$log" || wl_fail "the Qt target is not ready"
for p in "720 150" "1219 549" "$pt_qt"; do wl_click $p; done
wl_wait 5 sh -c "[ \$(grep -c '^press' '$log') -ge 3 ]" || true
[ "$(presses)" = "$(printf 'press L 720 150\npress L 1219 549\npress L %s' "$pt_qt")" ] ||
    wl_fail "the Qt target logged $(presses | tr '\n' ,) for clicks at its corners and field"
printf '%s' "$sentence" | wl_as wtype -
wl_wait 10 sh -c "[ \"\$(sed -n 's/^text //p' '$log' | tail -n1)\" = '$sentence' ]" || true
same "wtype into the Qt target" "$(qt_text)" "$sentence"
start_gtk
wl_click $pt_gtk
printf '%s' "$sentence" | wl_as wtype -
same "wtype into the GTK entry" "$(gtk_text)" "$sentence"
start_term control
wl_click $pt_term
printf '%s' "$sentence" | wl_as wtype -
same "wtype into foot" "$(term_text ${#sentence})" "$sentence"
wl_shot harness
echo "the harness: ok"
