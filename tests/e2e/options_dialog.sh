#!/usr/bin/env bash
# The options dialog of the real program: a left hold on the tray icon opens it with the stored
# step; a new step and Apply leave the step in the settings file and a fresh Brennet (another
# process) in the tray whose clicks use it; the quit button ends the program and takes the icon
# out of the tray.
source "$(dirname "$0")/lib.sh"

_no_icon() { ! icon_window >/dev/null; }

step_box_text() {
    click_at "$OPTIONS" "$TEXT1_AT"
    xdotool key --clearmodifiers ctrl+a ctrl+c
    xclip -o -selection clipboard 2>/dev/null
}
_step_box_is() { [ "$(step_box_text)" = "$1" ]; }

e2e_setup
brennet_start
first=$BRENNET_PID

# A left hold opens the dialog, filled with the default step.
icon_hold 1
wait_options
read -r _ _ w h < <(icon_geometry "$OPTIONS")
[ "$w" = 310 ] && [ "$h" = 247 ] || fail "the dialog is ${w}x$h, not 310x247"
wait_until -t 5 _step_box_is 10 || fail "the step box holds '$(step_box_text)', not 10"

# A new step, Apply: saved, and a new instance takes over the tray.
type_step 25
wait_until -t 5 _step_box_is 25 || fail "typing did not reach the step box"
click_at "$OPTIONS" "$COMMAND3_AT"
wait_restarted "$first"
second=$BRENNET_PID
grep -qx '%U589E%U52A0%20%20%20%20%20%20%20=25' "$SETTINGS_FILE" ||
    fail "the settings file does not hold the step 25: $(cat "$SETTINGS_FILE")"
volume_set 0
click_expect 1 16384 "the new instance did not step by 25 per cent"

# The quit button ends the program and removes its icon.
icon_hold 1
wait_options
click_at "$OPTIONS" "$COMMAND5_AT"
wait_until _gone "$BRENNET_PID" || fail "quit did not end the program"
wait_until _no_icon || fail "the icon stayed in the tray after quit"
BRENNET_PID=
pass "hold opens the dialog with 10; Apply saves 25 and restarts ($first -> $second); quit ends it"
