#!/usr/bin/env bash
# A sound server that stops answering (SIGSTOP for 3 s) never stalls Brennet: with the click
# sound on, two clicks and a left hold made while it is stopped are taken as two steps and a
# hold, and the options dialog opens while the server is still stopped.
source "$(dirname "$0")/lib.sh"

e2e_setup
server_pid=$(cat "$E2E_DIR/server/server.pid")
_continue_server() { kill -CONT "$server_pid" 2>/dev/null; }

settings_write 10 1 0
brennet_start
volume_set 0
click_expect 1 6554 "left click did not step" # the click sound is connected from here on
sleep 0.5

kill -STOP "$server_pid"
(sleep 3 && kill -CONT "$server_pid") &
_e2e_bg_pids+=($!)
trap '_continue_server; e2e_cleanup' EXIT
stopped=$SECONDS
icon_click 1
icon_click 1
icon_hold 1
wait_until -t 2 _options_shown ||
    fail "the options dialog did not open while the server was stopped"
[ $((SECONDS - stopped)) -lt 3 ] || fail "the gestures took as long as the server was stopped"

wait_until -t 10 pactl info >/dev/null || fail "the server did not answer again"
wait_volume 19662 5 || fail "the two clicks made while the server was stopped are not two steps"
expect_unchanged 1 || fail "the hold was taken as a further click"
pass "clicks and a hold stay quick while the sound server is stopped; the options dialog opens"
