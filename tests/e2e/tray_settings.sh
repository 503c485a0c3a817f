#!/usr/bin/env bash
# Stored settings at start: a custom .ico shown in the tray when UserIcon is "1" (when it is not
# shown is the start-up unit test's icon table); a settings file that is not INI text gives the
# defaults and is left byte for byte as it was.
source "$(dirname "$0")/lib.sh"

e2e_setup

# The red pixels in the icon's area; fails (printing nothing) when there is no screenshot.
red_pixels() {
    local shot
    shot=$(screenshot "$1") || return 1
    icon_pixels "$shot" FF0000
}

# A pure red icon with 16, 24 and 32 pixel images.
ico="$E2E_DIR/red icon.ico"
convert -size 32x32 xc:'#FF0000' -define icon:auto-resize=32,24,16 "$ico" ||
    fail "could not make the test icon"

settings_write 10 0 1 "" "$ico"
brennet_start
n=$(red_pixels custom) || fail "no screenshot of the tray icon"
[ "$n" -ge 256 ] || fail "$n red pixels in the tray icon, expected at least 256"
brennet_stop

# Garbage in the settings file: the defaults apply (step 10 %, click sound on) and the file
# stays exactly as it was, even after clicks.
mkdir -p "$(dirname "$SETTINGS_FILE")"
printf '\x00\x01\xff\xfe[\xe8\xae\xbe\n%%U589E=\x00zz\r\n\x80\x81 not ini at all\n' >"$SETTINGS_FILE"
head -c 300 /dev/urandom >>"$SETTINGS_FILE"
cp -p "$SETTINGS_FILE" "$E2E_DIR/garbage.orig"
sinkinputs_watch
brennet_start
volume_set 0
click_expect 1 6554 "with a garbage settings file the step is not the default 10 %"
wait_sinkinputs 1 || fail "with a garbage settings file the click sound (default on) did not play"
click_expect 3 0 "a right click did not step down"
brennet_stop
cmp "$SETTINGS_FILE" "$E2E_DIR/garbage.orig" || fail "the garbage settings file was changed"
[ "$(find "$(dirname "$SETTINGS_FILE")" -type f | wc -l)" -eq 1 ] ||
    fail "files appeared beside the settings file: $(ls -A "$(dirname "$SETTINGS_FILE")")"

pass "custom icon shown only for UserIcon 1 and a real icon; garbage settings give defaults and stay unchanged"
