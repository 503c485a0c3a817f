#!/usr/bin/env bash
# Every gesture on the XEmbed icon with the real pointer, read back from the sound server: a left
# click steps up by the rule (range 0..65536, step 10 %), a right click steps down, a quick double
# click is two steps, the wheel steps once a notch, the middle click and the right hold switch
# the mute, clicks while muted change nothing, a left hold steps nothing; with the sound off no
# click plays anything. The step's edges (the top, above it, the last step to silence) are the
# gesture unit test's table; what proxies send is tray_lxqt's and tray_gnome's.
source "$(dirname "$0")/lib.sh"

e2e_setup
settings_write 10 0 0 # no click sound: no gesture may play one
sinkinputs_watch
brennet_start
volume_set 0
mute_set 0

# 6554 + 6553.6 = 13107.6 -> 13108; 13108 - 6553.6 = 6554.4 -> 6554; the middle click's mute
# blocks clicks like the hold's, and the first click after either unmute steps.
gestures_expect icon_gesture <<'EOF'
left 6554
left 13108
right 6554
double 19662
middle yes
left same
middle no
right 13108
up 19662
up 26216
down 19662
right-hold yes
left same
right same
right-hold no
right 13108
left-hold same
EOF
# Close whatever the hold opened, so later input reaches the icon.
xdotool key --clearmodifiers Escape 2>/dev/null || true
click_expect 1 19662 "left click after a left hold (13108 + 6553.6 = 19661.6 -> 19662)"
[ "$(sinkinputs_new)" = 0 ] || fail "a gesture with the click sound off played a sound"
pass "clicks, wheel and double click step by the rule, middle click and right hold mute and unmute"
