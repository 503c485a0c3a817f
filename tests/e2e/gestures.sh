#!/usr/bin/env bash
# Clicks and holds on the icon, read back from the sound server: a left click steps up by the
# rule (range 0..65536, step 10 %), a right click steps down, a right hold mutes and a second
# one unmutes, and clicks in between change nothing.
source "$(dirname "$0")/lib.sh"

e2e_setup
settings_write 10 0 0 # no click sound: these checks are about the volume alone
brennet_start

# Step up: 0 + 6553.6 rounds to 6554; 6554 + 6553.6 = 13107.6 rounds to 13108.
volume_set 0
click_expect 1 6554 "left click from 0"
click_expect 1 13108 "second left click from 6554"

# Step down: 13108 - 6553.6 = 6554.4 -> 6554; 6554 - 6553.6 = 0.4 -> 0; below a step -> 0.
click_expect 3 6554 "right click from 13108"
click_expect 3 0 "right click from 6554"
volume_set 3000
click_expect 3 0 "right click from 3000 (less than a step) should reach 0"

# At the top a left click writes nothing; just below it the step is clamped to the top.
volume_set 65536
icon_click 1
expect_unchanged 1 || fail "left click at the top changed something"
volume_set 60000
click_expect 1 65536 "left click from 60000 should end at the top"
# Above the top (150 %, set by another program) a left click leaves it, a right click lands on
# the top rather than a step below it.
volume_set 98304
icon_click 1
expect_unchanged 1 || fail "left click above the top changed something"
click_expect 3 65536 "right click from 150 % should land on 100 %"

# A quick double click is two clicks: two steps.
volume_set 0
xdotool mousemove --window "$ICON" 8 8 click --repeat 2 --delay 120 1
wait_volume 13108 || fail "a double click should step up twice"

# Right hold mutes; clicks while muted change nothing; a second hold unmutes; the volume is
# then stepped from where it was.
volume_set 32768
mute_set 0
icon_hold 3
wait_mute yes || fail "a right hold did not mute"
[ "$(volume_get)" = 32768 ] || fail "the right hold changed the volume"
icon_click 1
icon_click 3
expect_unchanged 1 || fail "clicks while muted changed the volume or mute"
icon_hold 3
wait_mute no || fail "a second right hold did not unmute"
[ "$(volume_get)" = 32768 ] || fail "clicks while muted changed the volume"
click_expect 3 26214 "right click after unmuting (32768 - 6553.6 = 26214.4 -> 26214)"

# A left hold is no click: it steps nothing.
icon_hold 1
expect_unchanged 1 || fail "a left hold changed the volume"
# Close whatever the hold opened, so later input reaches the icon.
xdotool key --clearmodifiers Escape 2>/dev/null || true
click_expect 1 32768 "left click after a left hold (26214 + 6553.6 = 32767.6 -> 32768)"

pass "clicks step by the rule, right holds mute and unmute, blocked clicks change nothing"
