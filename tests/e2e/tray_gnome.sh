#!/usr/bin/env bash
# GNOME Shell with the AppIndicator extension, driven by the real pointer. In its legacy tray
# (kept there by BRENNET_TRAY=xembed) clicks arrive as press and release together: they step and
# never start a hold. Left alone, Brennet knows the proxy and shows its own item: a double click
# steps, the middle button mutes, and each entry of the menu that a single click opens works.
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
gnome_click 1
wait_volume 6554 || fail "legacy tray: left click"
gnome_click 3
wait_volume 0 || fail "legacy tray: right click"
gnome_click 2
wait_mute yes || fail "legacy tray: middle click should mute"
gnome_click 2
wait_mute no || fail "legacy tray: middle click should unmute"
xdotool mousedown 1 sleep 0.7 mouseup 1
wait_volume 6554 || fail "legacy tray: a long press arrives as a click and steps"
! window_named '[Brennet] - [设置]' '^\[Brennet\] - ' >/dev/null || fail "legacy tray: a hold"
brennet_stop

"$BRENNET" >>"$E2E_DIR/brennet.log" 2>&1 &
BRENNET_PID=$!
wait_until _one_item || fail "GNOME shows no item for Brennet"
! icon_window >/dev/null || fail "Brennet stayed in GNOME's legacy tray"
gnome_click 11
wait_volume 13108 || fail "a double click should step up"
xdotool key Escape # the menu its first click opened
gnome_click 2
wait_mute yes || fail "middle click should mute"
gnome_click 2
wait_mute no || fail "middle click should unmute"
gnome_menu 1
wait_volume 19662 || fail "menu: step up"
gnome_menu 2
wait_volume 13108 || fail "menu: step down"
gnome_menu 3
wait_mute yes || fail "menu: mute"
gnome_menu 3
wait_mute no || fail "menu: unmute"
gnome_menu 6
wait_options
options_close
gnome_menu 7
wait_until -t 10 _gone "$BRENNET_PID" || fail "menu: quit"
pass "GNOME Shell with the AppIndicator extension: legacy tray and item, clicks, menu"
