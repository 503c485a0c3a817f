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
# One panel at the top holding only the status tray (XEmbed and StatusNotifierItem).
install -D -m 644 "$(dirname "$0")/xfce4-panel.xml" \
    "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
hosts_bus

panel_start() {
    spawn panel.log xfce4-panel --disable-wm-check
    PANEL_PID=$!
}
# The item's methods as hosts call them: Activate or SecondaryActivate, menuN (a click on the
# menu's entry N by EventGroup, as waybar sends it), or PROGRAM:DELTA (a vertical Scroll from a
# copy of gdbus named PROGRAM, where the item tells hosts by their process).
host_call() {
    case $1 in
    menu*) item /MenuBar com.canonical.dbusmenu.EventGroup "[(${1#menu}, 'clicked', <0>, uint32 0)]" ;;
    *:*)
        cp "$(command -v gdbus)" "$E2E_DIR/${1%:*}"
        GDBUS=$E2E_DIR/${1%:*} item /StatusNotifierItem org.kde.StatusNotifierItem.Scroll "${1#*:}" vertical
        ;;
    *) item /StatusNotifierItem "org.kde.StatusNotifierItem.$1" 0 0 ;;
    esac >/dev/null
}
# What a host reads: the ToolTip's title and description, the mute entry's tick.
tip_says() {
    [[ $(item /StatusNotifierItem org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem \
        ToolTip) == *"'Brennet', '$1"* ]]
}
ticked() { [[ $(item /MenuBar com.canonical.dbusmenu.GetProperty 3 toggle-state) == "(<$1>,)" ]]; }

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

# Two notches up from an unknown host; half notches from Plasma add up to one; GNOME Shell counts
# the wheel turned down as positive.
gestures_expect host_call <<'EOF'
gdbus:240 19662
plasmashell:60 same
plasmashell:60 26216
gnome-shell:1 19662
SecondaryActivate yes
EOF
wait_until -t 5 tip_says "静音" || fail "the ToolTip does not say 静音 while muted"
ticked 1 || fail "the menu's mute entry is not ticked while muted"
gestures_expect host_call <<'EOF'
Activate same
menu1 same
menu3 no
EOF
wait_until -t 5 tip_says "30%" || fail "the ToolTip does not show the level (30%) once unmuted"
gestures_expect host_call <<'EOF'
menu2 13108
menu5 options
EOF
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
BRENNET_TRAY=sni brennet_run
wait_until item_is_brennet || fail "BRENNET_TRAY=sni: the item did not register"
kill "$PANEL_PID"
wait "$PANEL_PID" 2>/dev/null
panel_start
wait_until -t 40 item_is_brennet || fail "the item did not register again after the panel restarted"
gestures_expect host_call <<<"Activate 26215" # 13108 + 20 per cent, from the applied step

# The panel's own menu on the item, walked with the keyboard: the fifth entry's second output.
pactl load-module module-null-sink sink_name=second sink_properties=device.description=Second >/dev/null
windows() { xdotool search --onlyvisible --classname . | wc -l; }
shown=$(windows)
xdotool mousemove --window "$(xdotool search --name '^xfce4-panel$' | head -n 1)" 24 12 click 3
wait_until eval '[ "$(windows)" -gt "$shown" ]' || fail "the panel did not open the item's menu"
xdotool key --delay 150 Down Down Down Down Down Right Down Return
wait_until eval '[ "$(pactl get-default-sink)" = second ]' || fail "the panel's menu chose no output"
pass "StatusNotifierItem in xfce4-panel: registration, menu, wheel per host, panel restart, outputs"
