#!/usr/bin/env bash
# The click sound as the sound server sees it: with the sound on, every click opens a playback
# stream (a new sink-input) carrying the sound file; with it off, none; a sound file that is
# missing still gives a sound (the theme's bell). A server that stops answering stalls no click,
# and a restarted one plays again. Which gestures sound (a click that writes nothing does, a hold
# does not) is the gesture unit test's.
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

# A server that stops answering for 3 s stalls nothing: two clicks and a left hold made meanwhile
# are two steps and a hold, and the options dialog opens while the server is still stopped.
server_pid=$(cat "$E2E_DIR/server/server.pid")
trap 'status=$?; kill -CONT $server_pid; (exit $status); e2e_cleanup' EXIT
kill -STOP "$server_pid"
(sleep 3 && kill -CONT "$server_pid") &
icon_click 1
icon_click 1
icon_hold 1
wait_until -t 2 _options_shown || fail "the options did not open while the server was stopped"
wait_volume 13108 10 || fail "two clicks while the server was stopped are not two steps"
expect_unchanged 1 || fail "the hold was taken as a click"
brennet_stop
volume_set 0

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

pass "a stream per click with the sound on, none with it off; again after a restart"
