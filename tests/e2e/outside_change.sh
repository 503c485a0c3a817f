#!/usr/bin/env bash
# Volume changes made by another program (pactl here) while Brennet runs: the next click steps
# from the level the server has now, not from the level Brennet wrote last.
#
# The fault it catches: a mixer that misses another program setting back the level the sink
# had before Brennet's last write (32768 twice here) and steps from the level it wrote itself,
# so the second click ends at 45876 instead of 39322. A level not seen before (20000) is the
# easier case.
source "$(dirname "$0")/lib.sh"

e2e_setup
settings_write 10 0 0 # no click sound: these checks are about the volume alone
brennet_start

# The same outside level twice: 32768 + 6553.6 = 39321.6 -> 39322 both times.
volume_set 32768
click_expect 1 39322 "left click after pactl set 32768 at start (39322)"
volume_set 32768
wait_volume 32768 || fail "pactl could not set 32768"
icon_click 1
wait_volume 39322 5 || fail "left click after pactl set 32768 again must step from 32768 (39322)"

# A different outside level between two clicks: 20000 - 6553.6 = 13446.4 -> 13446.
volume_set 20000
wait_volume 20000 || fail "pactl could not set 20000"
icon_click 3
wait_volume 13446 5 || fail "right click after pactl set 20000 must step from 20000 (13446)"
pass "clicks step from the level other programs set"
