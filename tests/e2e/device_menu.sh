#!/usr/bin/env bash
# The menu's outputs and microphone, on both servers, with a second null sink and a null source
# beside the first sink: over D-Bus as a host calls the menu, choosing the second output makes it
# the default, moves the stream that plays and the next click steps it; outputs that come and go
# show in the submenu; the microphone entry mutes the default source and follows an outside
# change. On the XEmbed icon a middle hold opens the same menu (its middle click is gestures').
source "$(dirname "$0")/lib.sh"

e2e_setup
settings_write 10 0 0
pactl load-module module-null-sink sink_name=second sink_properties=device.description=Second >/dev/null
if [ "$BRENNET_TEST_SERVER" = pipewire ]; then
    pactl load-module module-null-sink sink_name=mic media.class=Audio/Source/Virtual \
        sink_properties=device.description=Mic >/dev/null
else
    pactl load-module module-null-source source_name=mic >/dev/null
fi
wait_until eval "pactl list short sources | grep -q mic" || fail "no null source"
# A recording keeps it running: PipeWire 1.4 drops the mute of a null source that never ran.
spawn parecord.log parecord --device=mic --raw /dev/null
pactl set-default-source mic
pactl set-sink-volume second 0
spawn pacat.log pacat --device="$SINK" /dev/zero

sink_id() { pactl list short sinks | awk -v n="$1" '$2 == n {print $1}'; }
stream_on() { [ "$(pactl list short sink-inputs | awk '{print $2}')" = "$(sink_id "$1")" ]; }
default_is() { [ "$(pactl get-default-sink)" = "$1" ]; }
source_muted() { pactl get-source-mute mic | grep -q "$1"; }
wait_until stream_on "$SINK" || fail "the test stream does not play on $SINK"

private_bus
BRENNET_TRAY=sni brennet_run
layout() { item /MenuBar com.canonical.dbusmenu.GetLayout 0 -1 '[]' 2>/dev/null; }
# The id of the entry labelled LABEL, as the menu's layout shows it.
entry_id() { layout | grep -oP "\(\d+, \{[^}]*'label': <'$1'>" | grep -oP '^\(\K\d+'; }
shows() { layout | grep -q "'label': <'$1'>"; }
mic_ticked() { layout | grep -qP "'label': <'麦克风静音'>, 'toggle-state': <$1>"; }
tip_tells_mic() { item /StatusNotifierItem org.freedesktop.DBus.Properties.Get \
    org.kde.StatusNotifierItem ToolTip 2>/dev/null | grep -q 麦克风静音; }
wait_until shows Second || fail "the menu does not list the second output: $(layout)"
layout | grep -qP "'label': <'Null Output'>, 'toggle-state': <1>, 'toggle-type': <'radio'>" ||
    fail "the default output is not ticked: $(layout)"

second=$(entry_id Second)
item /MenuBar com.canonical.dbusmenu.EventGroup "[($second, 'clicked', <0>, 0)]" >/dev/null
wait_until default_is second || fail "choosing Second did not make it the default sink"
wait_until stream_on second || fail "the playing stream did not move to Second"
item /StatusNotifierItem org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
SINK=second wait_volume 6554 || fail "the next click did not step the chosen output"

spawn signals.log gdbus monitor --session -d "org.kde.StatusNotifierItem-$BRENNET_PID-1" -o /MenuBar
wait_until grep -q "is owned by" "$E2E_DIR/signals.log" || fail "gdbus monitor did not start"
pactl load-module module-null-sink sink_name=third sink_properties=device.description=Third >/dev/null
wait_until shows Third || fail "an output added while Brennet runs is not listed"
wait_until grep -q "LayoutUpdated (uint32 [0-9]*, 8)" "$E2E_DIR/signals.log" ||
    fail "the host was not told that the outputs changed: $(cat "$E2E_DIR/signals.log")"
pactl unload-module "$(pactl list short modules | awk '/sink_name=third/ {print $1}')"
wait_until eval '! shows Third' || fail "an output removed is still listed"

item /MenuBar com.canonical.dbusmenu.Event 7 clicked '<0>' 0 >/dev/null
wait_until source_muted yes || fail "the microphone entry did not mute the default source"
wait_until mic_ticked 1 || fail "the microphone entry is not ticked after muting"
wait_until tip_tells_mic || fail "the tooltip does not tell the microphone is muted"
pactl set-source-mute mic 0
wait_until mic_ticked 0 || fail "the microphone tick did not follow an outside unmute"
wait_until eval '! tip_tells_mic' || fail "the tooltip still tells the microphone is muted"
brennet_stop

# The XEmbed icon: a middle hold opens the menu and changes nothing, and the menu chooses outputs
# as over D-Bus.
pactl set-default-sink "$SINK"
brennet_start
menu_window() { xdotool search --onlyvisible --classname '^brennet$' | grep -vx "$ICON"; }
read -r _ _ w h < <(icon_geometry)
xdotool mousemove --window "$ICON" $((w / 2)) $((h / 2)) mousedown 2 sleep 0.8
wait_until eval 'menu_window >/dev/null' || fail "a middle hold did not open the menu"
xdotool mouseup 2
sleep 0.3
menu_window >/dev/null || fail "the menu closed when the middle button was let go"
expect_unchanged 0.5 || fail "the middle hold changed the volume or mute"
# The fifth entry opens the outputs; the second of them is chosen with the keyboard.
xdotool key --delay 100 Down Down Down Down Down Right Down Return
wait_until default_is second || fail "choosing Second in the XEmbed icon's menu did not take"
pass "outputs and microphone from the menu (D-Bus and the XEmbed icon's middle hold)"
