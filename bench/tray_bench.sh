#!/usr/bin/env bash
# The program's start-up, memory, idle and click benches, under Xvfb + trayer + a sound server's
# null sink started for the run (PulseAudio, or PipeWire with BRENNET_TEST_SERVER=pipewire):
#   - time from exec to the icon embedded in the tray, and to its pixels drawn (DockWatch),
#   - resident memory after 3 s idle (RSS, RssAnon, Pss from /proc),
#   - system calls in 10 s idle (strace -c -f on every thread),
# over RUNS starts after one warm-up start, as a table with medians; then the click latency
# (ClickLatency: 50 clicks against the input path, the libpulse floor and an ALSA mixer write),
# the time from another program's change to the icon's redraw and the redraws under a storm of
# changes (RedrawLatency), and the in-process release handler time (ReleaseHandler).
#
# Usage: bench/tray_bench.sh [RUNS]     (default 5)
# Environment: BRENNET (default BUILD/brennet), BRENNET_BUILD_DIR (default build/; its bench/
# folder holds the helper programs), CLICKS (default 50), BRENNET_TEST_SERVER (pulseaudio, the
# default, or pipewire).
set -uo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${BRENNET_BUILD_DIR:-$src/build}
BRENNET=${BRENNET:-$build/brennet}
runs=${1:-5}
clicks=${CLICKS:-50}
for tool in "$BRENNET" "$build/bench/DockWatch" "$build/bench/ClickLatency" \
    "$build/bench/ReleaseHandler" "$build/bench/RedrawLatency"; do
    [ -x "$tool" ] || {
        echo "tray_bench: $tool is missing; build first" >&2
        exit 2
    }
done
command -v strace >/dev/null || {
    echo "tray_bench: strace is missing" >&2
    exit 2
}

case ${BRENNET_TEST_SERVER:-pulseaudio} in
pulseaudio) server=pulse ;;
pipewire) server=pipewire ;;
*)
    echo "tray_bench: BRENNET_TEST_SERVER must be pulseaudio or pipewire" >&2
    exit 2
    ;;
esac

dir=$(mktemp -d "${TMPDIR:-/tmp}/brennet-bench.XXXXXX")
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    "$src/scripts/x-stop" "$dir/x"
    "$src/scripts/$server-stop" "$dir/server"
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$src/scripts/$server-start" "$dir/server" || exit 1
# shellcheck disable=SC1091
source "$dir/server/env"
echo "sound server: $(pactl info | sed -n 's/^Server Name: //p'); $(nproc) cores," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
"$src/scripts/x-start" "$dir/x" || exit 1
export DISPLAY
DISPLAY=$(cat "$dir/x/display")
export XDG_CONFIG_HOME=$dir/config
export DOCKWATCH_LOG=$dir/brennet.log
mkdir -p "$XDG_CONFIG_HOME"

stop() {
    kill "$pid" 2>/dev/null
    while kill -0 "$pid" 2>/dev/null; do sleep 0.02; done
    pid=
}

kib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Warm-up: the first start reads everything from disk.
out=$("$build/bench/DockWatch" "$BRENNET") || {
    echo "tray_bench: the icon did not dock" >&2
    exit 1
}
pid=${out%% *}
stop

printf '%-5s %12s %10s %9s %12s %9s %10s %9s\n' run embedded_ms drawn_ms rss_MiB rssanon_MiB \
    pss_MiB syscalls threads
: >"$dir/table"
for run in $(seq 1 "$runs"); do
    out=$("$build/bench/DockWatch" "$BRENNET") || {
        echo "tray_bench: the icon did not dock" >&2
        exit 1
    }
    read -r pid embedded drawn <<<"$out"
    sleep 3
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    anon=$(awk '/^RssAnon:/ {print $2}' "/proc/$pid/status")
    threads=$(awk '/^Threads:/ {print $2}' "/proc/$pid/status")
    pss=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup")
    timeout -s INT 10 strace -c -f -o "$dir/strace.txt" -p "$pid" 2>/dev/null
    calls=$(awk '$NF == "total" {print $4}' "$dir/strace.txt")
    calls=${calls:-0}
    stop
    printf '%-5s %12s %10s %9s %12s %9s %10s %9s\n' "$run" "$embedded" "$drawn" "$(kib "$rss")" \
        "$(kib "$anon")" "$(kib "$pss")" "$calls" "$threads" | tee -a "$dir/table"
done
medians=()
for col in 2 3 4 5 6 7 8; do
    medians+=("$(awk -v c=$col '{print $c}' "$dir/table" | median)")
done
printf '%-5s %12s %10s %9s %12s %9s %10s %9s\n' median "${medians[@]}"
echo "targets: embedded and drawn < 100 ms, RSS <= 28 MiB, 0 system calls in 10 s idle"
echo

# Click latency: the click sound off (it would add its own change events on the sink).
mkdir -p "$XDG_CONFIG_HOME/Brennet"
printf '[%%U8BBE%%U7F6E]\n%%U58F0%%U97F3=0\n' >"$XDG_CONFIG_HOME/Brennet/Brennet.ini"
out=$("$build/bench/DockWatch" "$BRENNET") || exit 1
pid=${out%% *}
icon=$(xdotool search --onlyvisible --classname '^brennet$' | while read -r w; do
    [ "$(xdotool getwindowname "$w")" = Brennet ] && echo "$w"
done | head -1)
if grep -qE 'mesa|/dri/|libgallium' "/proc/$pid/maps"; then
    echo "note: OpenGL drivers are loaded in the process"
fi
"$build/bench/ClickLatency" "$icon" "$clicks"
echo "target: brennet's median at most 1 ms above the input path's plus the floor's"
echo
"$build/bench/RedrawLatency" "$icon" 20
echo "target: redrawn within 100 ms of the change; under a storm at most about 30 redraws a second"
stop
echo
"$build/bench/ReleaseHandler" "$clicks"
echo "target: under 300 us in process"
