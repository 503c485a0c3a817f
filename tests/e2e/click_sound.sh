#!/usr/bin/env bash
# The click sound as the sound server sees it: with the sound on, every click opens a playback
# stream (a new sink-input) carrying the sound file the settings name; a sound file that is
# missing still gives a sound (the theme's bell). A server that stops answering stalls no click,
# and a restarted one plays again. Which gestures sound (a click that writes nothing does, a hold
# does not) is the gesture unit test's; that none does with the sound off is gestures.sh's.
source "$(dirname "$0")/lib.sh"

e2e_setup
sinkinputs_watch

# Sound on with a file of its own (a blank in its name; 2 s of silence, long enough to find its
# stream): one stream per click, carrying that file.
wav="$E2E_DIR/my click.wav"
python3 - "$wav" <<'PY' || fail "could not make the test sound"
import sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setparams((1, 2, 8000, 0, "NONE", ""))
    w.writeframes(bytes(32000))
PY
settings_write 10 1 0 "$wav"
brennet_start
volume_set 0
click_expect 1 6554 "left click did not step"
wait_sinkinputs 1 || fail "no playback stream for the first click"
wait_until -t 5 eval 'pactl list sink-inputs | grep -F media.filename | grep -qF "$wav"' ||
    fail "the click did not play the file the settings name"
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

# A missing sound file: the desktop's default sound instead.
settings_write 10 1 0 "$E2E_DIR/no such file.wav"
brennet_start
before=$(sinkinputs_new)
click_expect 1 6554 "left click did not step"
wait_sinkinputs $((before + 1)) || fail "no sound for a click with a missing sound file"

# After the sound server restarts, clicks are heard again.
"$BRENNET_SOURCE_DIR/scripts/$_e2e_server-stop" "$E2E_DIR/server"
"$BRENNET_SOURCE_DIR/scripts/$_e2e_server-start" "$E2E_DIR/server" || fail "no server restart"
sinkinputs_watch
icon_click 3
wait_sinkinputs 1 || fail "no sound for a click after the sound server restarted"

pass "a stream per click with the sound on, also for a missing file, no stall, again after a restart"
