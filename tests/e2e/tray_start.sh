#!/usr/bin/env bash
# A fresh start: without a display the program says why and ends; under X its icon docks in the
# tray, is visible over the tray's background, writes no settings, and docks again when the tray
# host restarts. A settings file that is not INI text gives the defaults and is left byte for
# byte as it was. (The tooltip is follow_master's, a custom icon from the settings
# options_chooser's.)
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

# The pixels of the blue speaker in the icon's area of a new screenshot NAME.
blue_pixels() { icon_rgb "$1" | awk '$3 > $1 + 60 && $3 > 150' | wc -l; }

e2e_setup
brennet_start

# Visible in the tray: the icon's own blue is on screen where the icon is, over the tray's
# background colour.
read -r x y w h < <(icon_geometry)
[ "$y" -lt 24 ] || fail "the icon is at $x,$y, not in the tray at the top of the screen"
background=$(icon_rgb docked | sort | uniq -c | sort -rn | awk 'NR == 1 {print $2, $3, $4}')
tray_colour=$(convert "$E2E_DIR/docked.png" -crop "1x1+$((x - 1))+$((y + h / 2))" -depth 8 txt:- |
    awk -F'[(),]' 'NR > 1 {print $3, $4, $5}')
[ -n "$background" ] && [ "$background" = "$tray_colour" ] ||
    fail "the icon's background is $background, the tray's $tray_colour"
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
blue=$(blue_pixels redocked)
[ "$blue" -ge 40 ] || fail "the re-docked icon is not drawn ($blue blue pixels)"

# Garbage in the settings file: the defaults apply (step 10 %) and the file stays exactly as it
# was, even after clicks, with nothing beside it.
brennet_stop
printf '\x00\x01\xff\xfe[\xe8\xae\xbe\n%%U589E=\x00zz\r\n\x80\x81 not ini at all\n' >"$E2E_DIR/garbage"
head -c 300 /dev/urandom >>"$E2E_DIR/garbage"
mkdir -p "$(dirname "$SETTINGS_FILE")"
cp "$E2E_DIR/garbage" "$SETTINGS_FILE"
brennet_start
click_expect 1 19662 "with a garbage settings file the step is not the default 10 %"
brennet_stop
cmp "$SETTINGS_FILE" "$E2E_DIR/garbage" || fail "the garbage settings file was changed"
[ "$(ls -A "$(dirname "$SETTINGS_FILE")")" = Brennet.ini ] ||
    fail "files appeared beside the settings file: $(ls -A "$(dirname "$SETTINGS_FILE")")"
pass "docks, writes no settings, survives the tray host's restart; garbage settings give defaults and stay"
