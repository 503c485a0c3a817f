#!/usr/bin/env bash
# GNOME Shell with the AppIndicator extension, driven by the real pointer. In its legacy tray
# (kept there by BRENNET_TRAY=xembed) clicks arrive as press and release together: they step and
# never start a hold. Left alone, Brennet knows the proxy and shows its own item: a double click
# steps, the middle button mutes, and the menu that a single click opens steps, mutes and opens
# the options (its every entry is walked in tray_lxqt and sway_hosts).
# (Xvfb's pointer has no smooth scrolling, which is all the extension reads of the wheel.)
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_hosts.sh"

e2e_setup
settings_write 10 0 0
hosts_bus
gnome_start
volume_set 0
mute_set 0

BRENNET_TRAY=xembed brennet_start
gestures_expect gnome_gesture <<'EOF'
left 6554
right 0
middle yes
middle no
EOF
xdotool mousedown 1 sleep 0.7 mouseup 1
wait_volume 6554 || fail "legacy tray: a long press arrives as a click and steps"
! _options_shown || fail "legacy tray: a long press was taken as a hold"
brennet_stop

brennet_start_sni
! icon_window >/dev/null || fail "Brennet stayed in GNOME's legacy tray"
gnome_gesture double
wait_volume 13108 || fail "a double click should step up"
xdotool key Escape # the menu its first click opened
gestures_expect gnome_gesture <<'EOF'
middle yes
middle no
menu1 19662
menu3 yes
menu3 no
menu6 options
EOF
pass "GNOME Shell with the AppIndicator extension: legacy tray and item, clicks, menu"
