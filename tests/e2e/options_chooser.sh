#!/usr/bin/env bash
# The options dialog and its file chooser in the real program: a left hold opens the dialog at
# its size; browse for an icon, pick it, Apply: the restarted Brennet (another process) shows
# that icon and the settings file names it. The same for a click sound: the next click plays the
# picked file. The program lives in a folder with a blank in its name, which the restart must
# survive. The quit button ends the program and takes the icon out of the tray.
source "$(dirname "$0")/lib.sh"

# Client positions (pixels) of the controls used here, from the layouts in twips / 15.
CHECK2_AT="40 128"    # Frame2 (8,96) + Check2 (8,24, 185x17): on its caption
COMMAND1_AT="264 128" # Frame2 + Browse for the icon (224,24, 65x17)
COMMAND2_AT="264 168" # Frame2 + Browse for the sound (224,64, 65x17)
FILE1_FIRST_AT="230 18" # the chooser's file list (160,8, 145x175): its first row
DONE_AT="264 202"     # the chooser's Done (224,192, 81x21)

_chooser_shown() { CHOOSER=$(window_named "$1" '^载入'); }
_chooser_gone() { ! window_named "$1" '^载入' >/dev/null; }

# Opens the options, browses with BUTTON, picks the chooser's only file and applies; returns
# once the restarted instance is docked.
pick_and_apply() {
    local button=$1 title=$2 extra=${3:-} old=$BRENNET_PID
    icon_hold 1
    wait_options
    read -r _ _ w h < <(icon_geometry "$OPTIONS")
    [ "${w}x$h" = 310x247 ] || fail "the dialog is ${w}x$h, not 310x247"
    [ -n "$extra" ] && click_at "$OPTIONS" "$extra"
    click_at "$OPTIONS" "$button"
    wait_until _chooser_shown "$title" || fail "no chooser titled $title"
    click_at "$CHOOSER" "$FILE1_FIRST_AT"
    click_at "$CHOOSER" "$DONE_AT"
    wait_until _chooser_gone "$title" || fail "Done did not close the chooser"
    click_at "$OPTIONS" "$COMMAND3_AT"
    wait_restarted "$old"
}

e2e_setup
app="$E2E_DIR/my app"
mkdir -p "$app"
cp "$BRENNET" "$app/brennet"
BRENNET="$app/brennet"
convert -size 48x48 xc:'#FF0000' -define icon:auto-resize=48,32,24,16 "$app/red.ico" ||
    fail "could not make the test icon"
# Three seconds of a quiet tone: long enough to find its stream on the server.
python3 - "$app/long click.wav" <<'PY' || fail "could not make the test sound"
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
    w.writeframes(b"".join(struct.pack("<h", int(2000 * math.sin(i / 8000 * 2 * math.pi * 440)))
                           for i in range(3 * 8000)))
PY

brennet_start
shot=$(screenshot tray-before) || fail "no screenshot of the tray"
before=$(icon_pixels "$shot" FF0000) || fail "no red count for the built-in icon"
[ "$before" -lt 20 ] || fail "the built-in icon already shows $before red pixels"

# The icon: tick "custom icon", browse, pick red.ico, Apply.
pick_and_apply "$COMMAND1_AT" '载入图标 (*.ico)' "$CHECK2_AT"
grep -qx 'UserIcon=1' "$SETTINGS_FILE" || fail "UserIcon not saved: $(cat "$SETTINGS_FILE")"
grep -F 'IconFile=' "$SETTINGS_FILE" | grep -qF "$app/red.ico" ||
    fail "the settings do not name the icon: $(cat "$SETTINGS_FILE")"
_red_icon() { [ "$(icon_pixels "$(screenshot tray-after)" FF0000)" -ge 200 ]; }
wait_until _red_icon || fail "the tray does not show the picked icon"

# The sound: browse, pick the wave file, Apply; the next click plays it.
pick_and_apply "$COMMAND2_AT" '载入声音 (*.wav)'
grep -F 'SoundFile=' "$SETTINGS_FILE" | grep -qF "$app/long click.wav" ||
    fail "the settings do not name the sound: $(cat "$SETTINGS_FILE")"
_red_icon || fail "the icon did not survive the second restart"
sinkinputs_watch
icon_click 1
wait_sinkinputs 1 || fail "the click played nothing"
_plays_pick() {
    pactl list sink-inputs | grep -F 'media.filename' | grep -qF "$app/long click.wav"
}
wait_until -t 5 _plays_pick || fail "the click did not play the picked file: $(pactl list sink-inputs)"

icon_hold 1
wait_options
click_at "$OPTIONS" "$COMMAND5_AT"
wait_until _gone "$BRENNET_PID" || fail "quit did not end the program"
_no_icon() { ! icon_window >/dev/null; }
wait_until _no_icon || fail "the icon stayed in the tray after quit"
BRENNET_PID=
pass "picked icon shown in the tray, picked sound played, both in the settings file; quit ends it"
