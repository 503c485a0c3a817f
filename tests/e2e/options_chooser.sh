#!/usr/bin/env bash
# The options dialog and its file chooser in the real program: a left hold opens the dialog at
# its size; browse for an icon, pick it, Apply: the restarted Brennet (another process) shows
# that icon and the settings file names it. The program lives in a folder with a blank in its
# name, which the restart must survive. The quit button ends the program and takes the icon out
# of the tray. (The sound's Browse and what Apply writes for it are the dialogs' widget tests';
# a sound file from the settings played is click_sound's.)
source "$(dirname "$0")/lib.sh"

# Client positions (pixels) of the controls used here, from the layouts in twips / 15.
CHECK2_AT="40 128"      # Frame2 (8,96) + Check2 (8,24, 185x17): on its caption
FILE1_FIRST_AT="230 18" # the chooser's file list (160,8, 145x175): its first row
DONE_AT="264 202"       # the chooser's Done (224,192, 81x21)

e2e_setup
app="$E2E_DIR/my app"
mkdir -p "$app"
cp "$BRENNET" "$app/brennet"
BRENNET="$app/brennet"
convert -size 48x48 xc:'#FF0000' -define icon:auto-resize=48,32,24,16 "$app/red.ico" ||
    fail "could not make the test icon"

brennet_start
before=$(icon_pixels tray-before "255 0 0") || fail "no red count for the built-in icon"
[ "$before" -lt 20 ] || fail "the built-in icon already shows $before red pixels"

# Tick "custom icon", browse, pick red.ico (the chooser's only file), Apply.
icon_hold 1
wait_options
read -r _ _ w h < <(icon_geometry "$OPTIONS")
[ "${w}x$h" = 310x247 ] || fail "the dialog is ${w}x$h, not 310x247"
click_at "$OPTIONS" "$CHECK2_AT"
click_at "$OPTIONS" "$COMMAND1_AT"
wait_until _chooser_shown '载入图标 (*.ico)' || fail "Browse opened no chooser for the icon"
click_at "$CHOOSER" "$FILE1_FIRST_AT"
click_at "$CHOOSER" "$DONE_AT"
wait_until eval '! _chooser_shown "载入图标 (*.ico)"' || fail "Done did not close the chooser"
click_at "$OPTIONS" "$COMMAND3_AT"
wait_restarted "$BRENNET_PID"
grep -qx 'UserIcon=1' "$SETTINGS_FILE" || fail "UserIcon not saved: $(cat "$SETTINGS_FILE")"
grep -F 'IconFile=' "$SETTINGS_FILE" | grep -qF "$app/red.ico" ||
    fail "the settings do not name the icon: $(cat "$SETTINGS_FILE")"
wait_until eval '[ "$(icon_pixels tray-after "255 0 0")" -ge 200 ]' ||
    fail "the tray does not show the picked icon"

icon_hold 1
wait_options
click_at "$OPTIONS" "$COMMAND5_AT"
wait_until _gone "$BRENNET_PID" || fail "quit did not end the program"
wait_until eval '! icon_window >/dev/null' || fail "the icon stayed in the tray after quit"
BRENNET_PID=
pass "picked icon shown in the tray and named in the settings file; quit ends it"
