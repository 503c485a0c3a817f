#!/usr/bin/env bash
# The Debian package as a user meets it: built by CPack, clean under lintian, installed with
# apt-get, started as /usr/bin/brennet under a real tray and sound server, where it docks, plays
# the installed Change.wav on a click and restarts its installed executable on Apply; then
# removed, leaving nothing of it behind outside the user's settings.
#
# It installs into the system, so it runs only as root (CI) and never over a Brennet package
# that was already installed; otherwise it is skipped (exit 77).
source "$(dirname "$0")/lib.sh"

BUILD_DIR=${BRENNET_BUILD_DIR:-$BRENNET_SOURCE_DIR/build}
INSTALLED=/usr/lib/brennet/brennet

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing a package needs root"
    exit 77
fi
if dpkg-query -W -f='${Status}' brennet 2>/dev/null | grep -q 'install ok installed'; then
    echo "SKIP: a Brennet package is already installed here; not touching it"
    exit 77
fi

# Build the package from the tested build and check it.
rm -f "$BUILD_DIR"/brennet_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >"$BUILD_DIR/cpack.log" 2>&1) ||
    fail "cpack failed: $(tail -n 20 "$BUILD_DIR/cpack.log")"
deb=$(ls "$BUILD_DIR"/brennet_*_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no brennet_<version>_<arch>.deb in $BUILD_DIR"
log "built $deb"
lintian --fail-on error --tag-display-limit 0 "$deb" >"$BUILD_DIR/lintian.log" 2>&1 ||
    fail "lintian reports errors: $(grep '^E:' "$BUILD_DIR/lintian.log")"

# No Brennet package was installed before (see above): whatever happens, none is left after.
export DEBIAN_FRONTEND=noninteractive
e2e_setup
trap 'status=$?; apt-get purge -y -qq brennet >/dev/null 2>&1; (exit $status); e2e_cleanup' EXIT

apt-get install -y -qq --no-install-recommends "$deb" >"$E2E_DIR/apt-install.log" 2>&1 ||
    fail "apt-get install failed: $(tail "$E2E_DIR/apt-install.log")"
files=$(dpkg -L brennet)
for f in /usr/bin/brennet "$INSTALLED" /usr/lib/brennet/Change.wav \
    /usr/share/applications/brennet.desktop /etc/xdg/autostart/brennet.desktop \
    /usr/share/icons/hicolor/48x48/apps/brennet.png; do
    [ -e "$f" ] || fail "the package did not install $f"
done
[ "$(readlink -f /usr/bin/brennet)" = "$INSTALLED" ] || fail "/usr/bin/brennet does not lead to $INSTALLED"
# The first Exec line belongs to [Desktop Entry]; later ones are actions.
exec_line=$(grep -m1 '^Exec=' /usr/share/applications/brennet.desktop | cut -d= -f2-)
action_line=$(sed -n '/^\[Desktop Action Options\]/,/^\[/s/^Exec=//p' /usr/share/applications/brennet.desktop)
[ "$action_line" = "brennet --options" ] || fail "the Options action runs '$action_line'"
[ "$exec_line" = brennet ] || fail "the desktop entry runs '$exec_line'"

# Started by the desktop entry's command, as a user's session would.
BRENNET=$(command -v "$exec_line")
brennet_start
[ "$(readlink "/proc/$BRENNET_PID/exe")" = "$INSTALLED" ] || fail "not running the installed file"

# A click plays the installed click sound: collect the server's playback streams meanwhile.
spawn streams.txt bash -c 'while :; do pactl list sink-inputs; done'
_plays_installed() { grep -F media.filename "$E2E_DIR/streams.txt" | grep -qF /usr/lib/brennet/Change.wav; }
volume_set 0
click_expect 1 6554 "a click on the installed program did not step the volume"
wait_until -t 10 _plays_installed || fail "no stream of /usr/lib/brennet/Change.wav was seen"
kill "${_e2e_bg_pids[-1]}" 2>/dev/null

# Apply restarts the installed executable.
icon_hold 1
wait_options
click_at "$OPTIONS" "$COMMAND3_AT"
wait_restarted "$BRENNET_PID"
[ "$(readlink "/proc/$BRENNET_PID/exe")" = "$INSTALLED" ] ||
    fail "Apply started $(readlink "/proc/$BRENNET_PID/exe"), not the installed executable"
[ -f "$SETTINGS_FILE" ] || fail "Apply wrote no settings"
brennet_stop

# Removed: nothing of the package stays, only the user's settings.
apt-get purge -y -qq brennet >"$E2E_DIR/apt-purge.log" 2>&1 || fail "apt-get purge failed"
left=
while read -r f; do
    [ -d "$f" ] && [ ! -L "$f" ] && continue # shared folders such as /usr/bin stay
    [ -e "$f" ] || [ -L "$f" ] && left="$left $f"
done <<<"$files"
[ -d /usr/lib/brennet ] && left="$left /usr/lib/brennet/"
[ -z "$left" ] || fail "left behind after removal:$left"
[ -f "$SETTINGS_FILE" ] || fail "removing the package took the user's settings"
pass "package built, lintian-clean, installed, docked, played its Change.wav, restarted itself, removed cleanly"
