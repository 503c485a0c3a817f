#!/usr/bin/env bash
# The XEmbed icon and the sound server's master, on both servers. Every gesture with the real
# pointer, read back from the server: a left click steps up by the rule (range 0..65536, step
# 10 %), a right click steps down, a quick double click is two steps, the wheel steps once a
# notch, the middle click and the right hold mute, clicks while muted change nothing until an
# unmute (the middle click's, or another program's), a left hold steps nothing; with the sound off
# no gesture plays a sound. The icon follows the master while other programs change it: its
# picture and its tooltip show the level and the mute, a click steps from the level another
# program set (also one it set back), an outside mute does not block, a sink that appears after
# the start is controlled (PulseAudio: the server starts without one), and a switch of the default
# output steps the new output from its own level. The step's edges (the top, above it, the last
# step to silence) are the gesture unit test's table; what proxies send is tray_lxqt's and
# tray_gnome's.
source "$(dirname "$0")/lib.sh"

e2e_setup
settings_write 10 0 0 # no click sound: no gesture may play one
sinkinputs_watch
if [ "$BRENNET_TEST_SERVER" = pulseaudio ]; then
    pactl unload-module module-null-sink || fail "could not remove the null sink"
    brennet_start
    pactl load-module module-null-sink sink_name=nullsink >/dev/null &&
        pactl set-default-sink nullsink || fail "could not add the late sink"
fi
[ -n "$BRENNET_PID" ] || brennet_start
read -r _ _ w h < <(icon_geometry)

# The icon's pixels as one checksum; red OP N: the mute cross's red pixels compared with N.
icon_sum() { icon_rgb icon | md5sum; }
changed_from() { [ "$(icon_sum)" != "$1" ]; }
red() { test "$(icon_pixels red "224 32 32")" "$1" "$2"; }
# The tooltip shown while hovering the icon: "Brennet", then a line that contains TEXT.
_tip_has() {
    for t in $(xdotool search --onlyvisible --classname '^brennet$' 2>/dev/null); do
        [[ $t != "$ICON" && $(xdotool getwindowname "$t") == Brennet$'\n'*"$1"* ]] && return 0
    done
    return 1
}
tip_has() {
    xdotool mousemove 10 400 sleep 0.2 mousemove --window "$ICON" $((w / 2)) $((h / 2)) \
        sleep 0.1 mousemove --window "$ICON" $((w / 2 + 1)) $((h / 2))
    wait_until -t 5 _tip_has "$1" && xdotool mousemove 10 400
}

volume_set 0
# 0 + 6553.6 -> 6554, twice more -> 19662; 19662 - 6553.6 = 13108.4 -> 13108. Which clicks the
# mute blocks, and which flags each release clears, are frmMainGesturesTest's.
gestures_expect icon_gesture <<'EOF'
left 6554
double 19662
middle yes
middle no
right 13108
up 19662
down 13108
right-hold yes
left same
EOF
mute_set 0
wait_until -t 5 red -eq 0 || fail "the mute cross stays after an outside unmute"
click_expect 3 6554 "after an outside unmute the next click must step"
icon_hold 1
expect_unchanged 1 || fail "a left hold changed the volume"
# Close whatever the hold opened, so later input reaches the icon.
xdotool key --clearmodifiers Escape 2>/dev/null || true
click_expect 1 13108 "left click after a left hold (6554 + 6553.6 = 13107.6 -> 13108)"

# Another program sets back the level from before a click: the next click steps from there
# (32768 + 6553.6 -> 39322 both times), not from the level Brennet wrote.
for round in 1 2; do
    volume_set 32768
    click_expect 1 39322 "click $round after pactl set 32768 must step from 32768"
done
volume_set 90%
tip_has "90%" || fail "the tooltip does not show 90 %"
loud=$(icon_sum)
volume_set 10%
wait_until -t 5 changed_from "$loud" || fail "the icon looks the same at 90 % and at 10 %"
tip_has "10%" || fail "the tooltip does not show 10 %"

# Muted by another program: the icon shows it, and clicks go on stepping the muted level.
red -eq 0 || fail "red pixels in the icon before any mute"
mute_set 1
wait_until -t 5 red -ge 4 || fail "the icon shows no mute cross after an outside mute"
tip_has "静音" || fail "the tooltip does not say 静音 after an outside mute"
click_expect 1 13107 "a click must step a master muted by another program"
[ "$(sinkinputs_new)" = 0 ] || fail "a gesture with the click sound off played a sound"

# Another default output, at a level of its own: the click steps it from there.
pactl load-module module-null-sink sink_name=second \
    sink_properties=device.description=Second >/dev/null || fail "could not add a second sink"
pactl set-sink-volume second 32768
pactl set-default-sink second
tip_has "Second" || fail "the tooltip does not name the new default output"
level=$(SINK=second volume_get) # the server may have set one of its own on the new sink
icon_click 1
SINK=second wait_volume $((level + 6554)) || fail "the click did not step the new output"
[ "$(volume_get)" = 13107 ] || fail "the click changed the former output"
pass "gestures step and mute by the rule; icon and tooltip follow level, mute and output; late sink"
