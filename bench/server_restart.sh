#!/usr/bin/env bash
# Sound-server restarts: the server (BRENNET_TEST_SERVER, PulseAudio by default) is stopped and
# started again 20 times under one running Brennet. A restart counts when the one left click made
# as soon as the server answers steps up from the level set just after the restart. Prints
# "N of 20" and the median time from that click's start (a 100 ms press) to its step.
#
# Usage: bench/server_restart.sh [RESTARTS]     (default 20)
source "$(dirname "$0")/../tests/e2e/lib.sh"

restarts=${1:-20}
E2E_TIMEOUT=10
e2e_setup
settings_write 10 0 0
brennet_start
ok=0
times=()
for i in $(seq 1 "$restarts"); do
    "$BRENNET_SOURCE_DIR/scripts/$_e2e_server-stop" "$E2E_DIR/server"
    "$BRENNET_SOURCE_DIR/scripts/$_e2e_server-start" "$E2E_DIR/server" || continue
    level=$((1000 * i))
    volume_set "$level"
    start=$(date +%s%N)
    icon_click 1
    # level + 6553.6, rounded to the nearest
    if wait_volume "$(awk "BEGIN {printf \"%d\", $level + 6553.6 + 0.5}")" 5; then
        ok=$((ok + 1))
        times+=($((($(date +%s%N) - start) / 1000000)))
    fi
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
echo "$ok of $restarts server restarts: a click then stepped from the level set after the restart"
echo "median time from the click to its step: ${median:-n/a} ms"
E2E_FAILED=0
