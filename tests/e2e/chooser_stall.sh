#!/usr/bin/env bash
# A mount that stops answering (a FUSE file system whose server is stopped) never stalls
# Brennet: opening a folder on it in the file chooser returns at once, clicks on the tray icon
# still step, and quitting ends the program while the look at the folder still hangs. Runs in a
# private mount namespace, so the mount is this test's alone.
if [ -z "${BRENNET_PRIVATE_MOUNTS:-}" ]; then
    unshare --mount true 2>/dev/null || { echo "SKIP: no private mount namespace here" && exit 77; }
    exec env BRENNET_PRIVATE_MOUNTS=1 unshare --mount --propagation private bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
command -v bindfs >/dev/null || fail "bindfs is missing (scripts/install-deps --test)"

DIR1_AT="20 48"     # the chooser's folder list (8,40, 145x141): its first row
CANCEL_AT="176 202" # the chooser's Cancel (136,192, 81x21)

e2e_setup
app=$E2E_DIR/app
mkdir -p "$app/stalled" "$E2E_DIR/elsewhere"
cp "$BRENNET" "$app/brennet"
BRENNET=$app/brennet
spawn bindfs.log bindfs -f "$E2E_DIR/elsewhere" "$app/stalled"
fuse_pid=$!
trap 'status=$?; kill -CONT $fuse_pid; umount -l "$app/stalled"; (exit $status); e2e_cleanup' EXIT
wait_until -t 10 mountpoint -q "$app/stalled" || fail "bindfs did not mount"

settings_write 10 0 0
brennet_start
volume_set 0
icon_hold 1
wait_options
click_at "$OPTIONS" "$COMMAND1_AT"
wait_until _chooser_shown '载入图标 (*.ico)' || fail "the chooser did not open"
sleep 0.5 # the program's folder is listed; from now on the mount hangs
kill -STOP $fuse_pid
click_at "$CHOOSER" "$DIR1_AT"
xdotool key End Return # opens the last folder of the list: the stalled mount

click_expect 1 6554 "a click did not step while the chooser looked at a stalled mount"
click_at "$CHOOSER" "$CANCEL_AT" # it covers the options dialog's quit button
click_at "$OPTIONS" "$COMMAND5_AT"
wait_until -t 5 _gone "$BRENNET_PID" || fail "quit did not end Brennet while a look hung"
BRENNET_PID=
pass "a stalled mount in the chooser leaves the tray responsive, and quitting still ends it"
