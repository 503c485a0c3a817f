#!/usr/bin/env bash
# A fresh start: without a display the program says why and ends; under X its icon docks in the
# tray, is visible, shows the tooltip titled "Brennet", writes no settings, and docks again when
# the tray host restarts.
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

# The pixels of the blue speaker in the icon's area of a screenshot.
blue_pixels() {
    read -r x y w h < <(icon_geometry)
    convert "$1" -crop "${w}x${h}+${x}+${y}" +repage -depth 8 txt:- | tail -n +2 |
        awk -F'[(),]' '{ if ($4 > $2 + 60 && $4 > 150) n++ } END {print n + 0}'
}

e2e_setup
brennet_start

# Visible in the tray: the icon's own colours are on screen where the icon is, over the tray's
# background colour.
shot=$(screenshot docked) || fail "no screenshot of the docked icon"
read -r x y w h < <(icon_geometry)
[ "$y" -lt 24 ] || fail "the icon is at $x,$y, not in the tray at the top of the screen"
colours=$(convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage -depth 8 txt:- | tail -n +2 |
    awk '{print $3}' | sort | uniq -c | sort -rn)
background=$(awk 'NR == 1 {print $2}' <<<"$colours")
tray_colour=$(convert "$shot" -crop "1x1+$((x - 1))+$((y + h / 2))" -depth 8 txt:- | tail -1 |
    awk '{print $3}')
[ -n "$background" ] && [ "$background" = "$tray_colour" ] ||
    fail "the icon's background is $background, the tray's $tray_colour"
blue=$(blue_pixels "$shot")
[ "$blue" -ge 40 ] || fail "only $blue pixels of the blue speaker in the icon's area"

# The tooltip: hovering shows a tooltip window of the program whose title line is "Brennet".
xdotool mousemove --window "$ICON" $((w / 2)) $((h / 2))
tooltip_shown() {
    local t
    for t in $(xdotool search --onlyvisible --classname '^brennet$' 2>/dev/null); do
        [ "$t" = "$ICON" ] && continue
        xprop -id "$t" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP || continue
        [ "$(xdotool getwindowname "$t" | head -n 1)" = Brennet ] && return 0
    done
    return 1
}
wait_until tooltip_shown || fail "no tooltip \"Brennet\" while hovering the icon"
screenshot tooltip >/dev/null
xdotool mousemove 10 400

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
shot=$(screenshot redocked) || fail "no screenshot of the re-docked icon"
blue=$(blue_pixels "$shot")
[ "$blue" -ge 40 ] || fail "the re-docked icon is not drawn ($blue blue pixels)"

pass "docks, shows its tooltip, writes no settings, survives the tray host's restart"
