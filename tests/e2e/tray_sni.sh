#!/usr/bin/env bash
# xfce4-panel with its status tray on a private session bus. The panel also owns the XEmbed tray,
# so Brennet docks there first; synthetic clicks (as a proxy sends them) step and move the icon
# to the StatusNotifierWatcher. The menu exports the whole com.canonical.dbusmenu interface and
# takes waybar's EventGroup clicks, the mute blocking included; the wheel is read per host (the
# gestures as a real host makes them are tray_lxqt's); Apply's restart leaves one Brennet; after
# the panel restarts the item registers again.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_hosts.sh"

e2e_setup
settings_write 10 0 0
panel_xml=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml
mkdir -p "$(dirname "$panel_xml")"
# One panel at the top holding only the status tray (XEmbed and StatusNotifierItem).
cp "$(dirname "$0")/xfce4-panel.xml" "$panel_xml"
hosts_bus

panel_start() {
    xfce4-panel --disable-wm-check >>"$E2E_DIR/panel.log" 2>&1 &
    PANEL_PID=$!
    _e2e_bg_pids+=("$PANEL_PID")
}
# call [PROGRAM] METHOD ARGS...: calls a method of Brennet's item or menu, by default with gdbus;
# with a copy of gdbus named PROGRAM where the item tells hosts by their process.
call() {
    local gdbus=gdbus
    [[ $1 == *.* ]] || { gdbus=$E2E_DIR/$1 && cp "$(command -v gdbus)" "$gdbus" && shift; }
    local object=/StatusNotifierItem
    [[ $1 == com.canonical.* ]] && object=/MenuBar
    "$gdbus" call --session -d "org.kde.StatusNotifierItem-$BRENNET_PID-1" -o $object -m "$1" \
        -- "${@:2}" >/dev/null
}
menu_click() { call com.canonical.dbusmenu.EventGroup "[($1, 'clicked', <0>, uint32 0)]"; }
scroll() { call "$1" org.kde.StatusNotifierItem.Scroll "$2" vertical; }
# What a host reads: the ToolTip's title and description, the mute entry's tick.
get() { gdbus call --session -d "org.kde.StatusNotifierItem-$BRENNET_PID-1" -o "$1" -m "$2" \
    -- "${@:3}"; }
tip_says() {
    [[ $(get /StatusNotifierItem org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem \
        ToolTip) == *"'Brennet', '$1"* ]]
}
ticked() { [[ $(get /MenuBar com.canonical.dbusmenu.GetProperty 3 toggle-state) == "(<$1>,)" ]]; }

panel_start
brennet_start # docks in the panel's XEmbed tray
volume_set 0
mute_set 0
xdotool click --window "$ICON" 1
wait_volume 6554 || fail "a synthetic click on the XEmbed icon did not step"
wait_until item_is_brennet || fail "after synthetic clicks the item did not register"
menu_api=$(gdbus introspect --session -d "org.kde.StatusNotifierItem-$BRENNET_PID-1" -o /MenuBar)
for member in GetLayout GetGroupProperties GetProperty Event EventGroup AboutToShow \
    AboutToShowGroup ItemsPropertiesUpdated LayoutUpdated; do
    grep -q "^ *$member(" <<<"$menu_api" || fail "the menu does not export $member"
done

call org.kde.StatusNotifierItem.Scroll 240 vertical
wait_volume 19662 || fail "Scroll of two notches up from an unknown host should step twice"
scroll plasmashell 60
expect_unchanged 0.5 || fail "half a notch from Plasma should not step yet"
scroll plasmashell 60
wait_volume 26216 || fail "two half notches from Plasma make one step up"
scroll gnome-shell 1
wait_volume 19662 || fail "GNOME Shell counts the wheel turned down as positive"
call org.kde.StatusNotifierItem.SecondaryActivate 0 0
wait_mute yes || fail "SecondaryActivate should mute"
wait_until -t 5 tip_says "静音" || fail "the ToolTip does not say 静音 while muted"
ticked 1 || fail "the menu's mute entry is not ticked while muted"
call org.kde.StatusNotifierItem.Activate 0 0
menu_click 1
expect_unchanged 1 || fail "clicks while muted changed something"
menu_click 3
wait_mute no || fail "the menu's mute entry should unmute"
wait_until -t 5 tip_says "30%" || fail "the ToolTip does not show the level (30%) once unmuted"
menu_click 2
wait_volume 13108 || fail "the menu's step down should step, the first click after unmuting too"
menu_click 5
wait_options
# Apply restarts over the session bus's claim: exactly one Brennet afterwards, and it answers.
type_step 20
click_at "$OPTIONS" "$COMMAND3_AT"
wait_restarted "$BRENNET_PID"
[ "$(brennet_pids | wc -l)" = 1 ] || fail "Apply did not leave exactly one Brennet"
"$BRENNET" >>"$E2E_DIR/brennet.log" 2>&1 || fail "a start after Apply should hand over and end with 0"
wait_options
[ "$(brennet_pids | wc -l)" = 1 ] || fail "a start after Apply started a second Brennet"

# Forced to the item, it registers again after the panel restarts.
brennet_stop
BRENNET_TRAY=sni "$BRENNET" >>"$E2E_DIR/brennet.log" 2>&1 &
BRENNET_PID=$!
wait_until item_is_brennet || fail "BRENNET_TRAY=sni: the item did not register"
kill "$PANEL_PID"
wait "$PANEL_PID" 2>/dev/null
panel_start
wait_until -t 40 item_is_brennet || fail "the item did not register again after the panel restarted"
call org.kde.StatusNotifierItem.Activate 0 0
wait_volume 26215 || fail "Activate after the panel restart (13108 + 20 per cent)"

# The panel's own menu on the item, walked with the keyboard: the fifth entry's second output.
pactl load-module module-null-sink sink_name=second sink_properties=device.description=Second >/dev/null
windows() { xdotool search --onlyvisible --classname . | wc -l; }
shown=$(windows)
xdotool mousemove --window "$(xdotool search --name '^xfce4-panel$' | head -n 1)" 24 12 click 3
wait_until eval '[ "$(windows)" -gt "$shown" ]' || fail "the panel did not open the item's menu"
xdotool key --delay 150 Down Down Down Down Down Right Down Return
wait_until eval '[ "$(pactl get-default-sink)" = second ]' || fail "the panel's menu chose no output"
pass "StatusNotifierItem in xfce4-panel: registration, menu, wheel per host, panel restart, outputs"
