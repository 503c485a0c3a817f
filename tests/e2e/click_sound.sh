#!/usr/bin/env bash
# The click sound as the sound server sees it: with the sound on, every click opens a playback
# stream (a new sink-input) carrying the sound file; with it off, none; a sound file that is
# missing still gives a sound (the theme's bell); holds give none; a restarted server plays
# again.
source "$(dirname "$0")/lib.sh"

e2e_setup
sinkinputs_watch

# Sound on with the default file (Change.wav beside the program): one stream per click.
settings_write 10 1 0
brennet_start
volume_set 0
click_expect 1 6554 "left click did not step"
wait_sinkinputs 1 || fail "no playback stream for the first click"
click_expect 3 0 "right click did not step"
wait_sinkinputs 2 || fail "no playback stream for the second click"
# A click that writes nothing (already at 0) still plays its sound.
icon_click 3
wait_sinkinputs 3 || fail "no playback stream for a click at the bottom"
# A hold plays nothing.
before=$(sinkinputs_new)
icon_hold 3
wait_mute yes || fail "right hold did not mute"
icon_hold 3
wait_mute no || fail "right hold did not unmute"
sleep 0.5
[ "$(sinkinputs_new)" -eq "$before" ] || fail "a hold played a sound"
brennet_stop

# Sound off: clicks step but play nothing.
settings_write 10 0 0
brennet_start
before=$(sinkinputs_new)
click_expect 1 6554 "left click with the sound off did not step"
click_expect 1 13108 "second left click with the sound off did not step"
sleep 1
[ "$(sinkinputs_new)" -eq "$before" ] || fail "a click with the sound off played a sound"
brennet_stop

# A missing sound file: the desktop's default sound instead.
settings_write 10 1 0 "$E2E_DIR/no such file.wav"
brennet_start
before=$(sinkinputs_new)
click_expect 3 6554 "right click did not step"
wait_sinkinputs $((before + 1)) || fail "no sound for a click with a missing sound file"

# After the sound server restarts, clicks are heard again.
"$BRENNET_SOURCE_DIR/scripts/$_e2e_server-stop" "$E2E_DIR/server"
"$BRENNET_SOURCE_DIR/scripts/$_e2e_server-start" "$E2E_DIR/server" || fail "no server restart"
sinkinputs_watch
icon_click 3
wait_sinkinputs 1 || fail "no sound for a click after the sound server restarted"

pass "a stream per click with the sound on, none with it off or for holds; again after a restart"
