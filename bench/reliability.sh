#!/usr/bin/env bash
# Reliability run of the real program under Xvfb + trayer + a PulseAudio null sink:
#   1. 20 broken or hostile settings files (truncated, binary garbage, huge, wrong types, not a
#      regular file, unreadable ...): each time Brennet must dock, step on a left click, and
#      leave the settings folder byte for byte as it was; prints "N of 20".
#   2. CLICKS clicks (default 2000) at 15 ms intervals, left and right in turns of ten: Brennet
#      must still run and step afterwards, with resident memory within 1 MiB of where it
#      started; prints the RSS figures.
# Usage: bench/reliability.sh     Environment: BRENNET (default build/brennet), CLICKS.
# Exit status 1 when a figure is missed.
source "$(dirname "$0")/../tests/e2e/lib.sh"

clicks=${CLICKS:-2000}
e2e_setup
dir=$(dirname "$SETTINGS_FILE")
status=0

# What the settings folder holds: each entry's kind, mode, link target and content digest.
snapshot() {
    local f
    for f in "$dir"/* "$dir"/.[!.]*; do
        [ -e "$f" ] || [ -L "$f" ] || continue
        if [ -L "$f" ]; then
            echo "$f link $(readlink "$f")"
        elif [ -f "$f" ]; then
            echo "$f file $(stat -c %a "$f") $(sha256sum <"$f" | cut -c1-16)"
        else
            echo "$f $(stat -c '%F %a' "$f")"
        fi
    done
}

ini() { printf '[%%U8BBE%%U7F6E]\n%%U589E%%U52A0%%20%%20%%20%%20%%20%%20%%20=%s\n' "$1"; }

# Writes hostile settings file number $1 (1..20) into an empty settings folder.
hostile() {
    rm -rf "$dir"
    mkdir -p "$dir"
    local f=$SETTINGS_FILE
    case $1 in
    1) : >"$f" ;;                                                        # empty
    2) printf '[%%U8BBE%%U7F6E]\n%%U589E%%U52A0%%20%%2' >"$f" ;;          # truncated in a name
    3) printf '[%%U8BB' >"$f" ;;                                         # truncated section
    4) head -c 4096 /dev/urandom >"$f" ;;                                # binary garbage
    5) head -c 65536 /dev/zero >"$f" ;;                                  # NULs
    6) head -c $((20 << 20)) /dev/urandom >"$f" ;;                       # huge garbage
    7) { ini 10; for i in $(seq 1 60000); do echo "key$i=value $i"; done; } >"$f" ;; # huge INI
    8) ini abc >"$f" ;;                                                  # step not a number
    9) ini -50 >"$f" ;;                                                  # step negative
    10) ini 1e308 >"$f" ;;                                               # step huge
    11) { ini 10; echo '%U58F0%U97F3=yes'; echo 'UserIcon=2'; } >"$f" ;; # flags not 0/1
    12) { ini 10; echo 'UserIcon=1'; echo 'IconFile=/dev/zero'; } >"$f" ;; # icon a device
    13) { ini 10; echo '%U58F0%U97F3=1'; echo 'SoundFile=/dev/zero'; } >"$f" ;; # sound a device
    14) { ini 10; printf 'x=%*s\n' $((1 << 20)) ''; } >"$f" ;;           # a 1 MiB line
    15) printf '\xff\xfe[\x00a\x00]\x00\n\x00' >"$f" ;;                  # UTF-16
    16) mkdir "$f" ;;                                                    # a folder
    17) mkfifo "$f" ;;                                                   # a named pipe
    18) ln -s "$f" "$f" ;;                                               # a link to itself
    19) ln -s /nonexistent/Brennet.ini "$f" ;;                           # a dangling link
    20) ini 10 >"$f" && chmod 000 "$f" ;;                                # unreadable
    esac
}

_stepped() { [ "$(volume_get)" != 0 ] && [ -n "$(volume_get)" ]; }
_docked() { _icon_ready && kill -0 "$BRENNET_PID" 2>/dev/null; }

# 1. Hostile settings files.
good=0
for n in $(seq 1 20); do
    hostile "$n"
    before=$(snapshot)
    mute_set 0
    volume_set 0
    ICON=
    "$BRENNET" >>"$E2E_DIR/brennet.log" 2>&1 &
    BRENNET_PID=$!
    result=ok
    if ! wait_until _docked; then
        result="did not dock"
    else
        icon_click 1
        wait_until -t 5 _stepped || result="a left click did not step"
    fi
    kill -0 "$BRENNET_PID" 2>/dev/null || result="ended ($result)"
    brennet_stop
    [ "$(snapshot)" = "$before" ] || result="the settings folder changed"
    chmod -R u+rwx "$dir" 2>/dev/null
    [ "$result" = ok ] && good=$((good + 1))
    printf '  file %2d: %s\n' "$n" "$result"
done
echo "hostile settings files: $good of 20 started and stepped with the file left byte for byte"
[ "$good" -eq 20 ] || status=1

# 2. Many quick clicks.
rm -rf "$dir"
brennet_start
volume_set 50%
rss() { awk '/^VmRSS:/ {print $2}' "/proc/$BRENNET_PID/status" 2>/dev/null; }
read -r _ _ w h < <(icon_geometry)
burst() { # burst COUNT: COUNT clicks, ten left then ten right, 15 ms apart
    local done=0
    while [ "$done" -lt "$1" ]; do
        xdotool mousemove --window "$ICON" $((w / 2)) $((h / 2)) \
            click --repeat 10 --delay 15 $((done / 10 % 2 == 0 ? 1 : 3))
        done=$((done + 10))
    done
}
burst 100 # warm-up: every path has run once
sleep 2
start_rss=$(rss)
started=$SECONDS
burst "$clicks"
took=$((SECONDS - started))
sleep 2
end_rss=$(rss)
alive=no
kill -0 "$BRENNET_PID" 2>/dev/null && alive=yes
volume_set 0
icon_click 1
stepped=no
wait_until -t 5 _stepped && stepped=yes
growth=$((${end_rss:-0} - ${start_rss:-0}))
echo "clicks: $clicks in ${took}s; still running: $alive; steps afterwards: $stepped"
echo "RSS: ${start_rss:-?} KiB before, ${end_rss:-?} KiB after, growth $growth KiB (limit 1024)"
if [ "$alive" != yes ] || [ "$stepped" != yes ] || [ -z "$start_rss" ] || [ -z "$end_rss" ] ||
    [ "$growth" -gt 1024 ] || [ "$growth" -lt -1024 ]; then
    status=1
fi

E2E_FAILED=$status
exit "$status"
