#!/usr/bin/env bash
# Shared helpers for the end-to-end tests: the real brennet under Xvfb with trayer as the tray
# host and a private sound server (PulseAudio, or PipeWire with pipewire-pulse) with a null
# sink. Source it, then call e2e_setup.
#
#   source "$(dirname "$0")/lib.sh"
#   e2e_setup                      # sound server, X server + tray, private XDG_CONFIG_HOME, trap
#   settings_write 10 1 0 "" ""    # optional: a stored step, sound, UserIcon, SoundFile, IconFile
#   brennet_start                  # starts $BRENNET, waits until its icon is docked and visible
#   volume_set 0; icon_click 1; wait_volume 6554 || fail "..."
#   gestures_expect icon_gesture <<'EOF'   # or a table of gestures and what each leads to
#   left 13108
#   EOF
#   pass "what was shown"
#
# Environment it needs: BRENNET (the binary; ctest sets it, else build/brennet is used),
# BRENNET_SOURCE_DIR (the checkout; defaults to two folders up from here), BRENNET_TEST_SERVER
# (pulseaudio, the default, or pipewire: which server scripts/pulse-start or
# scripts/pipewire-start runs; both answer the same PulseAudio clients and ALSA's "default").
# After e2e_setup: E2E_DIR (a private temporary folder), DISPLAY, XDG_CONFIG_HOME, the PulseAudio
# client variables, SINK (the null sink's name), SETTINGS_FILE (where the store keeps the
# settings). After brennet_start: BRENNET_PID, ICON (the icon window id, decimal).
# E2E_IN_SESSION is the command that runs a program in the test's desktop session: empty here,
# the sway session's in-session after lib_sway.sh's sway_setup.
# Every wait polls with a timeout (E2E_TIMEOUT seconds, default 20) and never relies on a
# fixed sleep alone. The EXIT trap stops everything it started; the folder is removed after a
# pass and kept (its path printed) after a failure.
set -uo pipefail

# The test's shell becomes a child subreaper (kept across exec), so a process that its parent
# leaves behind, such as the instance Apply starts detached, becomes this shell's child instead
# of init's: the test finds its processes by parent pid, never by name, and reaps them.
if [ -z "${_E2E_SUBREAPER:-}" ]; then
    _E2E_SUBREAPER=1 exec python3 -c 'import ctypes, os, sys
ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
os.execvp("bash", ["bash"] + sys.argv[1:])' "$0" "$@"
fi
unset _E2E_SUBREAPER

E2E_TIMEOUT=${E2E_TIMEOUT:-20}
BRENNET_SOURCE_DIR=${BRENNET_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
BRENNET=${BRENNET:-$BRENNET_SOURCE_DIR/build/brennet}
BRENNET_TEST_SERVER=${BRENNET_TEST_SERVER:-pulseaudio}
SINK=nullsink
E2E_DIR=
BRENNET_PID=
ICON=
E2E_FAILED=1
_e2e_bg_pids=()
_e2e_server=
E2E_IN_SESSION=()

log() { echo "[$(date +%H:%M:%S.%3N)] $*" >&2; }

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { E2E_FAILED=0; echo "PASS: $*"; exit 0; }

# Polls a command until it succeeds; fails after TIMEOUT seconds (default E2E_TIMEOUT).
#   wait_until [-t SECONDS] COMMAND...
wait_until() {
    local end=$((SECONDS + E2E_TIMEOUT))
    [ "${1:-}" = -t ] && end=$((SECONDS + $2)) && shift 2
    until "$@"; do
        [ $SECONDS -ge $end ] && return 1
        sleep 0.05
    done
}

e2e_cleanup() {
    local status=$?
    set +e
    [ -n "$BRENNET_PID" ] && brennet_stop
    local pid
    for pid in "${_e2e_bg_pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    if [ -n "$E2E_DIR" ]; then
        [ -d "$E2E_DIR/sway" ] && "$BRENNET_SOURCE_DIR/scripts/sway-stop" "$E2E_DIR/sway"
        "$BRENNET_SOURCE_DIR/scripts/x-stop" "$E2E_DIR/x"
        [ -n "$_e2e_server" ] && "$BRENNET_SOURCE_DIR/scripts/$_e2e_server-stop" "$E2E_DIR/server"
        if [ "$E2E_FAILED" -eq 0 ] && [ -z "${E2E_KEEP:-}" ]; then
            rm -rf "$E2E_DIR"
        else
            echo "e2e: logs and screenshots kept in $E2E_DIR" >&2
            [ -f "$E2E_DIR/brennet.log" ] && tail -n 20 "$E2E_DIR/brennet.log" >&2
        fi
    fi
    exit "$status"
}

# Starts the servers; every test calls it first. With --no-x there is no X server and no DISPLAY.
e2e_setup() {
    [ -x "$BRENNET" ] || fail "no brennet binary at $BRENNET (build it first)"
    E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/brennet-e2e.XXXXXX")
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
    _e2e_server=${BRENNET_TEST_SERVER/pulseaudio/pulse}
    "$BRENNET_SOURCE_DIR/scripts/$_e2e_server-start" "$E2E_DIR/server" ||
        fail "the $BRENNET_TEST_SERVER server did not start"
    log "sound server: $BRENNET_TEST_SERVER"
    # shellcheck disable=SC1091
    source "$E2E_DIR/server/env"
    if [ "${1:-}" = --no-x ]; then
        unset DISPLAY
    else
        "$BRENNET_SOURCE_DIR/scripts/x-start" "$E2E_DIR/x" || fail "Xvfb and trayer did not start"
        export DISPLAY
        DISPLAY=$(cat "$E2E_DIR/x/display")
    fi
    export XDG_CONFIG_HOME=$E2E_DIR/config
    mkdir -p "$XDG_CONFIG_HOME"
    SETTINGS_FILE=$XDG_CONFIG_HOME/Brennet/Brennet.ini
    unset QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
}

# Starts COMMAND... in the background, its output added to $E2E_DIR/LOG, and has the end of the
# test stop it: spawn LOG COMMAND... (its pid is then in $!).
spawn() {
    "${@:2}" >>"$E2E_DIR/$1" 2>&1 &
    _e2e_bg_pids+=($!)
}

# A private bus, none of the machine's, whose address goes into the variable VARIABLE (default
# DBUS_SESSION_BUS_ADDRESS): private_bus [VARIABLE]. No accessibility bus starts beside it.
private_bus() {
    local var=${1:-DBUS_SESSION_BUS_ADDRESS}
    dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$E2E_DIR/$var" \
        4>"$E2E_DIR/$var.pid" || fail "no private bus for $var"
    _e2e_bg_pids+=("$(cat "$E2E_DIR/$var.pid")")
    export "$var=$(cat "$E2E_DIR/$var")" NO_AT_BRIDGE=1
}
in_session() { "${E2E_IN_SESSION[@]}" "$@"; }

# The items the watcher knows, one a line ("" when no watcher runs); whether Brennet's is one.
sni_items() {
    in_session gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
        -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
        RegisteredStatusNotifierItems 2>/dev/null | grep -oE "'[^']+'" | tr -d "'"
}
item_is_brennet() { sni_items | grep -qE "StatusNotifierItem-$BRENNET_PID-1(/|$)"; }
# item OBJECT METHOD ARGS...: calls a method of Brennet's item (/StatusNotifierItem) or its menu
# (/MenuBar) as a host does, with $GDBUS (gdbus unless set).
item() {
    in_session "${GDBUS:-gdbus}" call --session -d "org.kde.StatusNotifierItem-$BRENNET_PID-1" \
        -o "$1" -m "$2" -- "${@:3}"
}

# Writes the settings file the way the program's store does (an INI file whose section and
# names are percent-escaped). Arguments: step (percent), sound flag, UserIcon flag, SoundFile,
# IconFile; an empty SoundFile or IconFile is left out.
settings_write() {
    mkdir -p "$(dirname "$SETTINGS_FILE")"
    printf '%s\n' '[%U8BBE%U7F6E]' "%U589E%U52A0%20%20%20%20%20%20%20=$1" "%U58F0%U97F3=$2" \
        "UserIcon=$3" ${4:+"SoundFile=\"$4\""} ${5:+"IconFile=\"$5\""} >"$SETTINGS_FILE"
}

# The icon window: class "brennet", name "Brennet", viewable and embedded (its parent is not
# the root window). Prints its id.
icon_window() {
    local w
    for w in $(xdotool search --onlyvisible --classname '^brennet$' 2>/dev/null); do
        [ "$(xdotool getwindowname "$w" 2>/dev/null)" = Brennet ] || continue
        xwininfo -children -id "$w" 2>/dev/null | grep 'Parent window id:' |
            grep -qv '(the root window)' || continue
        echo "$w"
        return 0
    done
    return 1
}

_icon_ready() { # docked, and at least 16 pixels square
    local w h
    ICON=$(icon_window) || return 1
    read -r _ _ w h < <(icon_geometry 2>/dev/null)
    [ "${w:-0}" -ge 16 ] && [ "${h:-0}" -ge 16 ]
}

# Waits until the icon is docked and visible; sets ICON.
wait_icon() { wait_until _icon_ready || fail "the icon did not dock within ${E2E_TIMEOUT}s"; }

# Starts $BRENNET in the session (arguments are passed on) and sets BRENNET_PID; brennet_start
# then waits for its icon.
brennet_run() {
    "${E2E_IN_SESSION[@]}" "$BRENNET" "$@" >>"$E2E_DIR/brennet.log" 2>&1 &
    BRENNET_PID=$!
}
brennet_start() {
    brennet_run "$@"
    wait_icon
    kill -0 "$BRENNET_PID" 2>/dev/null || fail "brennet ended at start"
    log "brennet $BRENNET_PID docked as window $ICON"
}

brennet_stop() {
    [ -n "$BRENNET_PID" ] || return 0
    kill -TERM "$BRENNET_PID" 2>/dev/null
    wait_until -t 5 _gone "$BRENNET_PID"
    kill -KILL "$BRENNET_PID" 2>/dev/null
    wait "$BRENNET_PID" 2>/dev/null
    BRENNET_PID=
    ICON=
}

# The icon's geometry on screen: prints "X Y WIDTH HEIGHT".
icon_geometry() {
    xwininfo -id "${1:-$ICON}" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}

# The pointer's button for each gesture's name (a hold's too: ${BUTTON[${gesture%-hold}]}).
declare -A BUTTON=([left]=1 [middle]=2 [right]=3 [up]=4 [down]=5)

# Presses a button on the icon (1 left, 3 right) and releases it after MS milliseconds; the
# pointer move, press, wait and release are one xdotool call, so nothing slips in between.
icon_press() {
    local button=$1 ms=$2 w h
    read -r _ _ w h < <(icon_geometry)
    xdotool mousemove --window "$ICON" $((w / 2)) $((h / 2)) mousedown "$button" \
        sleep "$(awk "BEGIN {print $ms / 1000}")" mouseup "$button"
}
icon_click() { icon_press "$1" 100; } # a click: held 100 ms
icon_hold() { icon_press "$1" 700; }  # a hold: held 700 ms
# A click with BUTTON, then the volume must reach VALUE: click_expect BUTTON VALUE MESSAGE.
click_expect() {
    icon_click "$1"
    wait_volume "$2" || fail "$3"
}
# A gesture on the XEmbed icon: left, middle, right (clicks), up, down (wheel notches), double (a
# quick double left click), left-hold, middle-hold, right-hold.
icon_gesture() {
    case $1 in
    double) xdotool mousemove --window "$ICON" 8 8 click --repeat 2 --delay 120 1 ;;
    *-hold) icon_hold "${BUTTON[${1%-hold}]}" ;;
    *) icon_click "${BUTTON[$1]}" ;;
    esac
}

# Reads rows of "GESTURE EXPECTED" from standard input, makes each gesture with COMMAND... GESTURE
# and waits for what it must lead to: a volume (a number), a mute (yes or no), "same" (volume and
# mute stay as they are for a second), "options" (the options dialog shows) or "gone" (Brennet
# ended).
gestures_expect() {
    local gesture expected
    while read -r gesture expected; do
        "$@" "$gesture" </dev/null
        case $expected in
        yes | no) wait_mute "$expected" ;;
        same) expect_unchanged 1 ;;
        options) wait_until _options_shown ;;
        gone) wait_until _gone "$BRENNET_PID" ;;
        *) wait_volume "$expected" ;;
        esac || fail "$*: $gesture did not lead to $expected"
    done
}

# The null sink's volume (the first channel's raw value, 0..65536) and mute ("yes"/"no").
volume_get() { pactl get-sink-volume "$SINK" | awk '/Volume:/ {print $3; exit}'; }
mute_get() { pactl get-sink-mute "$SINK" | awk '{print $2}'; }
volume_set() { pactl set-sink-volume "$SINK" "$1"; }
mute_set() { pactl set-sink-mute "$SINK" "$1"; }

# Wait until the volume (mute) has the value VALUE [within SECONDS]; on timeout print what it
# is and return 1.
wait_volume() { _wait_value volume_get "$@"; }
wait_mute() { _wait_value mute_get "$@"; }
_value_is() { [ "$($1)" = "$2" ]; }
_wait_value() {
    wait_until -t "${3:-$E2E_TIMEOUT}" _value_is "$1" "$2" && return 0
    echo "${1%_get} is $($1), expected $2" >&2
    return 1
}

# Holds that the volume and mute stay as they are for SECONDS (default 1): for actions that
# must change nothing. A reading that fails (no server, no sink) fails the check.
expect_unchanged() {
    local volume mute
    volume=$(volume_get)
    mute=$(mute_get)
    [ -n "$volume" ] && [ -n "$mute" ] || { echo "cannot read the sink's volume" >&2 && return 1; }
    sleep "${1:-1}"
    [ "$(volume_get)" = "$volume" ] && [ "$(mute_get)" = "$mute" ]
}

# Watching the server's playback streams: sinkinputs_watch starts `pactl subscribe` into a
# file; sinkinputs_new counts the new sink-inputs seen since then, and fails when the watcher is
# no longer running (so "no new stream" cannot pass on a dead watcher).
sinkinputs_watch() {
    : >"$E2E_DIR/subscribe.log"
    spawn subscribe.log pactl subscribe
    _e2e_subscribe_pid=$!
    # Subscribed once the server has told it about a client we connect ourselves.
    wait_until -t 10 _subscribed || fail "pactl subscribe did not start"
}
_subscribed() { pactl info >/dev/null 2>&1 && grep -q "on client #" "$E2E_DIR/subscribe.log"; }
sinkinputs_new() {
    kill -0 "$_e2e_subscribe_pid" || return 1
    grep -c "'new' on sink-input" "$E2E_DIR/subscribe.log"
}
_sinkinputs_at_least() { [ "$(sinkinputs_new)" -ge "$1" ]; }
wait_sinkinputs() { wait_until -t "${2:-$E2E_TIMEOUT}" _sinkinputs_at_least "$1"; }

# The icon's pixels in a new screenshot NAME.png of the screen: one "R G B" line each. Without a
# screenshot or an icon to crop it prints nothing and fails, so no count stands in for it.
icon_rgb() {
    local shot=$E2E_DIR/$1.png x y w h
    import -window root "$shot" && read -r x y w h < <(icon_geometry) && [ -n "${h:-}" ] || return 1
    convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage -depth 8 txt:- |
        awk -F'[(),]' 'NR > 1 {print $3, $4, $5}'
}
# How many of them are of the colour "R G B": icon_pixels NAME "R G B" (nothing when it fails).
icon_pixels() {
    local rgb
    rgb=$(icon_rgb "$1") || return 1
    grep -cx "$2" <<<"$rgb" || true
}

# The visible window whose name is exactly NAME, among those whose name matches the regular
# expression PATTERN: window_named NAME PATTERN prints its id.
window_named() {
    local w
    for w in $(xdotool search --onlyvisible --name "$2" 2>/dev/null); do
        [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && echo "$w" && return 0
    done
    return 1
}

# Clicks the left button at a client position of a window: click_at WINDOW "X Y".
click_at() {
    # shellcheck disable=SC2086
    xdotool mousemove --window "$1" $2 click 1
}

# Client positions (pixels) of the options dialog's controls, from its layout in twips / 15.
TEXT1_AT="236 57"     # Frame1 (8,24) + Text1, the step box (216,24, 25x19)
COMMAND1_AT="264 128" # Frame2 (8,96) + Browse for the icon (224,24, 65x17)
COMMAND3_AT="240 228" # Apply (176,216, 129x25)
COMMAND5_AT="48 228"  # quit (8,216, 81x25)

# Replaces the text of the dialog's step box with TEXT: type_step TEXT.
type_step() {
    click_at "$OPTIONS" "$TEXT1_AT"
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 50 "$1"
}

# The options dialog: wait_options waits until it is shown and sets OPTIONS to its window.
_options_shown() { OPTIONS=$(window_named '[Brennet] - [设置]' '^\[Brennet\] - '); }
wait_options() { wait_until _options_shown || fail "the options dialog did not open"; }
# The file chooser titled TITLE: _chooser_shown TITLE sets CHOOSER to its window.
_chooser_shown() { CHOOSER=$(window_named "$1" '^载入'); }

# The Brennet processes this test started: its shell's descendants (a restarted instance is one,
# see the subreaper above) that run the file $BRENNET names.
brennet_pids() {
    local exe pid
    exe=$(readlink -f "$BRENNET")
    for pid in $(_descendants $$); do
        if [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$exe" ]; then
            echo "$pid"
        fi
    done
}
_descendants() {
    local pid
    for pid in $(cat /proc/"$1"/task/*/children 2>/dev/null); do
        echo "$pid"
        _descendants "$pid"
    done
}
_other_brennet() { NEW_PID=$(brennet_pids | grep -vx "$1" | head -n 1) && [ -n "$NEW_PID" ]; }
_gone() { ! kill -0 "$1" 2>/dev/null; }

# After Apply: waits until the instance OLD has ended and another has started and docked; that
# one becomes BRENNET_PID.
wait_restarted() {
    local old=$1
    wait_until _gone "$old" || fail "the instance $old did not end after Apply"
    wait "$old" 2>/dev/null
    wait_until _other_brennet "$old" || fail "no new Brennet process after Apply"
    BRENNET_PID=$NEW_PID
    wait_icon
    log "restarted as $BRENNET_PID"
}
