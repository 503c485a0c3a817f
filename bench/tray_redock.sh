#!/usr/bin/env bash
# Tray restarts: trayer is stopped and started again 20 times under one running Brennet. A
# restart counts when the icon docks again and the next left click steps up from the level set
# just before it. Prints "N of 20" and the median time from the tray's start to the icon docked.
#
# Usage: bench/tray_redock.sh [RESTARTS]     (default 20)
source "$(dirname "$0")/../tests/e2e/lib.sh"

restarts=${1:-20}
E2E_TIMEOUT=10
e2e_setup
settings_write 10 0 0
brennet_start
ok=0
times=()
for i in $(seq 1 "$restarts"); do
    "$BRENNET_SOURCE_DIR/scripts/x-stop" "$E2E_DIR/x" --tray-only
    start=$(date +%s%N)
    "$BRENNET_SOURCE_DIR/scripts/x-start" "$E2E_DIR/x" --tray-only || continue
    ICON=
    wait_until _icon_ready || continue
    times+=($((($(date +%s%N) - start) / 1000000)))
    level=$((1000 * i))
    volume_set "$level"
    icon_click 1
    # level + 6553.6, rounded to the nearest
    wait_volume "$(awk "BEGIN {printf \"%d\", $level + 6553.6 + 0.5}")" 5 && ok=$((ok + 1))
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
echo "$ok of $restarts restarts re-docked and stepped from the level set before"
echo "median time from the tray's start to the icon docked: ${median:-n/a} ms"
E2E_FAILED=0
