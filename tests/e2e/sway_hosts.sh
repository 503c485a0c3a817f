#!/usr/bin/env bash
# Brennet in a Wayland session without X (sway, no Xwayland, no DISPLAY): it starts as a Wayland
# client, and its item shows in swaybar and in waybar, each clicked with the seat's own pointer.
# swaybar draws no menu: left steps up, right steps down, middle mutes, the wheel steps. waybar:
# left, middle and the wheel alike; right opens waybar's own menu, where "静音", "设置..." and
# "退出" work.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_sway.sh"

sway_setup
settings_write 10 0 0
volume_set 0
mute_set 0
# Forcing the XEmbed icon, which needs X, is refused with a line: the item shows as ever.
BRENNET_TRAY=xembed brennet_run
wait_until item_is_brennet || fail "the item was not registered with the watcher"
grep -q "BRENNET_TRAY=xembed needs an X display; ignored" "$E2E_DIR/brennet.log" ||
    fail "BRENNET_TRAY=xembed without X did not say that it is ignored"
wait_icon_in_bar top
declare -A at=([swaybar]=$ICON_AT)
wait_icon_in_bar bottom
at[waybar]=$ICON_AT

# Each gesture, then the volume or the mute it must lead to (menu3 is "静音"; each entry in turn is
# tray_lxqt's).
gestures_expect pointer "${at[swaybar]}" <<'EOF'
left 6554
right 0
up 6554
down 0
middle yes
middle no
EOF
gestures_expect pointer "${at[waybar]}" <<'EOF'
left 6554
up 13108
down 6554
middle yes
menu3 no
EOF

# "设置...": the options, a Wayland (xdg-shell) window titled as on X. "退出" ends Brennet.
options_shown() {
    in_session swaymsg -q '[app_id="^brennet$" shell="xdg_shell" title="^\[Brennet\] - \[设置\]$"] focus'
}
pointer "${at[waybar]}" menu6
wait_until options_shown || fail "waybar's menu: \"设置...\" did not open the options"
in_session swaymsg -q '[app_id="^brennet$"] kill'
pointer "${at[waybar]}" menu7
wait_until _gone "$BRENNET_PID" || fail "waybar's menu: \"退出\" did not end Brennet"
wait "$BRENNET_PID" 2>/dev/null
BRENNET_PID=
pass "Wayland without X: swaybar and waybar, every gesture, the menu, the options window"
