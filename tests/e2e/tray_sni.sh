#!/usr/bin/env bash
# A real StatusNotifierItem host: xfce4-panel with its status tray on a private session bus.
# The panel also owns the XEmbed tray, so Brennet docks there first; synthetic clicks (as a
# proxy sends them) step and move the icon to the StatusNotifierWatcher. The item's methods and
# menu entries, called as the host calls them, move the sink as the gestures do, the mute
# blocking included; Apply's restart leaves one Brennet; after the panel restarts the item
# registers again. The menu exports the whole com.canonical.dbusmenu interface.
source "$(dirname "$0")/lib.sh"

e2e_setup
settings_write 10 0 0
export XDG_CONFIG_HOME NO_AT_BRIDGE=1 # no accessibility bus beside the private one
panel_xml=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml
mkdir -p "$(dirname "$panel_xml")"
# One panel at the top holding only the status tray (XEmbed and StatusNotifierItem).
cp "$(dirname "$0")/xfce4-panel.xml" "$panel_xml"
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$E2E_DIR/bus.address" \
    4>"$E2E_DIR/bus.pid" || fail "no private session bus"
_e2e_bg_pids+=("$(cat "$E2E_DIR/bus.pid")")
export DBUS_SESSION_BUS_ADDRESS
DBUS_SESSION_BUS_ADDRESS=$(cat "$E2E_DIR/bus.address")
# The trayer of e2e_setup would take the tray selection: the panel is the tray here.
"$BRENNET_SOURCE_DIR/scripts/x-stop" "$E2E_DIR/x" --tray-only

panel_start() {
    xfce4-panel --disable-wm-check >>"$E2E_DIR/panel.log" 2>&1 &
    PANEL_PID=$!
    _e2e_bg_pids+=("$PANEL_PID")
}
registered() {
    gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
        -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
        RegisteredStatusNotifierItems 2>/dev/null | grep -q "StatusNotifierItem-$BRENNET_PID-1"
}
call() { # call OBJECT METHOD ARGS...: calls a method of Brennet's item as the host does
    gdbus call --session -d "org.kde.StatusNotifierItem-$BRENNET_PID-1" -o "$1" -m "$2" -- \
        "${@:3}" >/dev/null
}
item() { call /StatusNotifierItem "org.kde.StatusNotifierItem.$1" "${@:2}"; }
# As waybar's menu library sends a click: one EventGroup call.
menu_click() { call /MenuBar com.canonical.dbusmenu.EventGroup "[($1, 'clicked', <0>, uint32 0)]"; }

panel_start
brennet_start # docks in the panel's XEmbed tray
volume_set 0
mute_set 0
xdotool click --window "$ICON" 1
wait_volume 6554 || fail "a synthetic click on the XEmbed icon did not step"
wait_until registered || fail "after synthetic clicks the item did not register with the watcher"
menu_api=$(gdbus introspect --session -d "org.kde.StatusNotifierItem-$BRENNET_PID-1" -o /MenuBar)
for member in GetLayout GetGroupProperties GetProperty Event EventGroup AboutToShow \
    AboutToShowGroup ItemsPropertiesUpdated LayoutUpdated; do
    grep -q "^ *$member(" <<<"$menu_api" || fail "the menu does not export $member"
done

item Activate 0 0
wait_volume 13108 || fail "Activate should step up"
item ContextMenu 0 0
wait_volume 6554 || fail "ContextMenu should step down"
item Scroll 240 vertical
wait_volume 19662 || fail "Scroll of two notches up should step twice"
item Scroll -1 vertical
wait_volume 13108 || fail "Scroll of one step down should step down"
item SecondaryActivate 0 0
wait_mute yes || fail "SecondaryActivate should mute"
item Activate 0 0
menu_click 1
expect_unchanged 1 || fail "clicks while muted changed something"
menu_click 3
wait_mute no || fail "the menu's mute entry should unmute"
menu_click 2
wait_volume 6554 || fail "the menu's step down should step, the first click after unmuting too"
menu_click 1
wait_volume 13108 || fail "the menu's step up should step"
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
wait_until registered || fail "BRENNET_TRAY=sni: the item did not register"
kill "$PANEL_PID"
wait "$PANEL_PID" 2>/dev/null
panel_start
wait_until -t 40 registered || fail "the item did not register again after the panel restarted"
item Activate 0 0
wait_volume 26215 || fail "Activate after the panel restart (13108 + 20 per cent)"
pass "StatusNotifierItem in xfce4-panel: registration, methods, menu, panel restart"
