#!/usr/bin/env bash
# Starts of the program. Without a display it says why and ends; an unknown argument (Qt's own
# too) ends with 2 and a usage message. Under X a fresh start's icon docks in the tray, is
# visible over the tray's background, writes no settings, and docks again when the tray host
# restarts. Starting Brennet again opens the running one's options and ends with 0, a session
# manager's restart (-session ID) beside it ends quietly, of two starts at the same moment one
# runs. A settings file that is not INI text gives the defaults and is left byte for byte as it
# was. (The tooltip is gestures.sh's, a custom icon from the settings options_chooser's.)
source "$(dirname "$0")/lib.sh"

# No display: one line and status 1, for a missing and for an unreachable X display, also in a
# Wayland session whose compositor does not answer.
for display in "" ":97"; do
    out=$(env DISPLAY="$display" WAYLAND_DISPLAY=/nonexistent/wayland-9 XDG_CONFIG_HOME=/nonexistent \
        "$BRENNET" 2>&1)
    status=$?
    [ "$status" -eq 1 ] || fail "without X (DISPLAY='$display') the status was $status"
    [ "$out" = "Brennet needs a Wayland or X11 display for its tray icon" ] ||
        fail "without X (DISPLAY='$display') it said: $out"
done
usage=$("$BRENNET" -platform offscreen 2>&1)
status=$?
[ "$status" = 2 ] && grep -q '^usage: brennet' <<<"$usage" ||
    fail "an unknown argument should end with 2 and a usage line (got $status: $usage)"

# The pixels of the blue speaker in the icon's area of a new screenshot NAME.
blue_pixels() { icon_rgb "$1" | awk '$3 > $1 + 60 && $3 > 150' | wc -l; }
# In a new screenshot NAME, the icon's most common colour is the tray's just left of it: the
# tray's background shows through the icon (a first frame may still be the palette's).
over_tray() {
    read -r x y _ h < <(icon_geometry)
    background=$(icon_rgb "$1" | sort | uniq -c | sort -rn | awk 'NR == 1 {print $2, $3, $4}')
    tray_colour=$(convert "$E2E_DIR/$1.png" -crop "1x1+$((x - 1))+$((y + h / 2))" -depth 8 txt:- |
        awk -F'[(),]' 'NR > 1 {print $3, $4, $5}')
    [ -n "$background" ] && [ "$background" = "$tray_colour" ]
}

e2e_setup
brennet_start

# Visible in the tray: the icon's own blue is on screen where the icon is, over the tray's
# background colour.
read -r x y _ _ < <(icon_geometry)
[ "$y" -lt 24 ] || fail "the icon is at $x,$y, not in the tray at the top of the screen"
wait_until -t 5 over_tray docked || fail "the icon's background is $background, the tray's $tray_colour"
blue=$(blue_pixels docked)
[ "$blue" -ge 40 ] || fail "only $blue pixels of the blue speaker in the icon's area"

# A fresh start writes no settings, not even after clicks.
volume_set 0
click_expect 1 6554 "a left click on the fresh start did not step up"
[ ! -e "$XDG_CONFIG_HOME/Brennet" ] ||
    fail "a fresh start wrote settings: $(find "$XDG_CONFIG_HOME/Brennet" | head -5)"

# The tray host goes away: the icon leaves with it and waits unseen; a new tray host takes it
# in again, and it still works.
old_icon=$ICON
"$BRENNET_SOURCE_DIR/scripts/x-stop" "$E2E_DIR/x" --tray-only
icon_gone() {
    ! icon_window >/dev/null && ! xdotool search --onlyvisible --classname '^brennet$' |
        grep -qx "$old_icon"
}
wait_until icon_gone || fail "the icon stayed on screen without a tray host"
kill -0 "$BRENNET_PID" || fail "brennet ended with the tray host"
"$BRENNET_SOURCE_DIR/scripts/x-start" "$E2E_DIR/x" --tray-only || fail "trayer did not restart"
wait_icon
kill -0 "$BRENNET_PID" || fail "brennet ended"
click_expect 1 13108 "a left click after the tray host's restart did not step up"
wait_until -t 5 over_tray redocked ||
    fail "the re-docked icon's background is $background, the tray's $tray_colour"
blue=$(blue_pixels redocked)
[ "$blue" -ge 40 ] || fail "the re-docked icon is not drawn ($blue blue pixels)"

# A session manager's restart beside the running Brennet ends quietly, without the options.
"$BRENNET" -session 10abcdef_2 >>"$E2E_DIR/brennet.log" 2>&1 || fail "-session beside a running Brennet"
sleep 1
! _options_shown || fail "a session manager's restart opened the options"
"$BRENNET" >>"$E2E_DIR/brennet.log" 2>&1 || fail "a second start should end with 0"
wait_options
[ "$(brennet_pids | wc -l)" = 1 ] || fail "more than one Brennet runs after a second start"
"$BRENNET" --options >>"$E2E_DIR/brennet.log" 2>&1 ||
    fail "brennet --options beside a running one should end with 0"
[ "$(brennet_pids | wc -l)" = 1 ] || fail "more than one Brennet runs after --options"
kill -0 "$BRENNET_PID" || fail "the first Brennet ended"

# Two starts at the same moment (no session bus here): the first is held between taking its
# socket and listening on it (strace delays listen() by 4 s) when the second looks; the second
# must hand over and end rather than take the socket too.
brennet_stop
spawn brennet.log strace -f -qq -o /dev/null -e trace=listen -e inject=listen:delay_enter=4000000 \
    "$BRENNET"
sleep 1.5 # the first one is inside its claim by now
"$BRENNET" >>"$E2E_DIR/brennet.log" 2>&1 &
second=$!
wait_until -t 10 _gone "$second" || fail "two Brennets started at the same moment both run"
BRENNET_PID=$(brennet_pids) # the traced first one, which the end of the test stops
[ "$(wc -w <<<"$BRENNET_PID")" = 1 ] || fail "not one Brennet after two starts at the same moment"

# Garbage in the settings file: the defaults apply (step 10 %) and the file stays exactly as it
# was, even after clicks, with nothing beside it.
brennet_stop
printf '\x00\x01\xff\xfe[\xe8\xae\xbe\n%%U589E=\x00zz\r\n\x80\x81 not ini at all\n' >"$E2E_DIR/garbage"
head -c 300 /dev/urandom >>"$E2E_DIR/garbage"
install -D -m 644 "$E2E_DIR/garbage" "$SETTINGS_FILE"
brennet_start
click_expect 1 19662 "with a garbage settings file the step is not the default 10 %"
brennet_stop
cmp "$SETTINGS_FILE" "$E2E_DIR/garbage" || fail "the garbage settings file was changed"
[ "$(ls -A "$(dirname "$SETTINGS_FILE")")" = Brennet.ini ] ||
    fail "files appeared beside the settings file: $(ls -A "$(dirname "$SETTINGS_FILE")")"
pass "no display, bad argument; docks, survives the tray host's restart; one instance; garbage settings stay"
