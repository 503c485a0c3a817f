#!/usr/bin/env bash
# Brennet in a Wayland session without X (sway, no Xwayland, no DISPLAY): it starts as a
# Wayland client and its item shows in swaybar and in waybar, each clicked with the seat's own
# pointer. swaybar draws no menu: left steps up, right steps down, middle mutes, the wheel
# steps. waybar: left, middle and the wheel alike; right opens its own menu, whose every entry
# works, "设置..." opening the options as a Wayland window and "退出" ending Brennet.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_sway.sh"

sway_setup
settings_write 10 0 0
volume_set 0
mute_set 0
# Forcing the XEmbed icon, which needs X, is refused with a line: the item shows as ever.
BRENNET_TRAY=xembed sway_brennet_start
grep -q "BRENNET_TRAY=xembed needs an X display; ignored" "$E2E_DIR/brennet.log" ||
    fail "BRENNET_TRAY=xembed without X did not say that it is ignored"
wait_icon_in_bar top
declare -A at=([swaybar]=$ICON_AT)
wait_icon_in_bar bottom
at[waybar]=$ICON_AT
log "icons at ${at[swaybar]} (swaybar) and ${at[waybar]} (waybar)"

# expect HOST GESTURE VALUE WHAT: after the gesture the volume (or mute: yes/no) is VALUE.
expect() {
    case $2 in
    left) pointer_click "${at[$1]}" button1 ;;
    right) pointer_click "${at[$1]}" button3 ;;
    middle) pointer_click "${at[$1]}" button2 ;;
    up | down) pointer_wheel "${at[$1]}" "$2" ;;
    esac
    if [[ $3 =~ ^(yes|no)$ ]]; then wait_mute "$3" 10; else wait_volume "$3" 10; fi ||
        fail "$1: $4"
}
expect swaybar left 6554 "a left click should step up"
expect swaybar left 13108 "a second left click should step up"
expect swaybar right 6554 "a right click should step down"
expect swaybar up 13108 "the wheel turned up should step up"
expect swaybar down 6554 "the wheel turned down should step down"
expect swaybar middle yes "a middle click should mute"
expect swaybar middle no "a second middle click should unmute"
expect waybar left 13108 "a left click should step up"
expect waybar up 19662 "the wheel turned up should step up"
expect waybar down 13108 "the wheel turned down should step down"
expect waybar middle yes "a middle click should mute"

# menu_click N: opens waybar's menu with a right click and clicks its Nth entry.
menu_click() {
    pointer_click "${at[waybar]}" button3
    local entries
    wait_until -t 10 _menu_open || fail "a right click in waybar opened no menu"
    read -r entries < <(sed -n "${1}p" <<<"$MENU")
    pointer_click "$entries" button1
}
_menu_open() { MENU=$(menu_entries) && [ "$(wc -l <<<"$MENU")" -eq 5 ]; }
menu_click 3
wait_mute no 10 || fail "waybar's menu: \"静音\" should unmute"
menu_click 1
wait_volume 19662 10 || fail "waybar's menu: \"增加音量\" should step up"
menu_click 2
wait_volume 13108 10 || fail "waybar's menu: \"减小音量\" should step down"

# The options: a Wayland window of Brennet's (sway has no Xwayland here), titled as on X.
options_window() {
    [ "$(in_session swaymsg -t get_tree | python3 -c 'import json, sys
def walk(n):
    yield n
    for c in n["nodes"] + n["floating_nodes"]:
        yield from walk(c)
for n in walk(json.load(sys.stdin)):
    if n.get("app_id") == "brennet":
        print(n["shell"], n["name"])')" = "xdg_shell [Brennet] - [设置]" ]
}
menu_click 4
wait_until options_window || fail "waybar's menu: \"设置...\" should open the options"
in_session swaymsg -q '[app_id=brennet] kill'
menu_click 5
wait_until _gone "$BRENNET_PID" || fail "waybar's menu: \"退出\" should end Brennet"
wait "$BRENNET_PID" 2>/dev/null
BRENNET_PID=
pass "Wayland without X: swaybar and waybar, every gesture and menu entry, the options window"
