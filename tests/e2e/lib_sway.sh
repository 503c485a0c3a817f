#!/usr/bin/env bash
# Helpers for the tests on a headless Wayland session (scripts/sway-start: sway without Xwayland,
# swaybar at the top, waybar at the bottom, a private session bus). Source it after lib.sh:
#
#   sway_setup                     # e2e_setup without X, then the session; its env is exported
#   sway_brennet_start             # $BRENNET in the session, until its item is registered
#   read -r x y < <(icon_in_bar top) && pointer_click "$x $y" button1
#
# The pointer is the seat's own: `swaymsg seat - cursor ...`, as a user's mouse moves and clicks.
SWAY_DIR=

in_session() { "$SWAY_DIR/in-session" "$@"; }

sway_setup() {
    e2e_setup --no-x
    SWAY_DIR=$E2E_DIR/sway
    "$BRENNET_SOURCE_DIR/scripts/sway-start" "$SWAY_DIR" || fail "the sway session did not start"
    # shellcheck disable=SC1091
    source "$SWAY_DIR/env"
    export XDG_SESSION_TYPE
}

_registered() {
    in_session gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
        -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
        RegisteredStatusNotifierItems 2>/dev/null | grep -q "StatusNotifierItem-$BRENNET_PID-1"
}

sway_brennet_start() {
    "$SWAY_DIR/in-session" "$BRENNET" "$@" >>"$E2E_DIR/brennet.log" 2>&1 &
    BRENNET_PID=$!
    wait_until _registered || fail "the item was not registered with the watcher"
}

sway_shot() { # sway_shot NAME: a screenshot of the output, prints its path
    in_session grim "$E2E_DIR/$1.png" && echo "$E2E_DIR/$1.png"
}

# The pixels of a screenshot's area W x H + X + Y, one "x y r g b" line each.
_pixels() {
    convert "$1" -crop "$2" +repage -depth 8 txt:- |
        awk -F'[,:() ]+' -v ox="${2#*+}" '!/^#/ {split(ox, o, "+"); print $1 + o[1], $2 + o[2], $3, $4, $5}'
}

# The centre of the blue speaker in a bar (top or bottom): prints "X Y", fails without one.
icon_in_bar() {
    local shot area
    shot=$(sway_shot "bar-$1") || return 1
    [ "$1" = top ] && area=800x30+0+0 || area=800x30+0+570
    _pixels "$shot" "$area" | awk '$5 > $3 + 60 && $5 > 150 {n++; x += $1; y += $2}
        END {if (n < 20) exit 1; printf "%d %d\n", x / n, y / n}'
}
_icon_shown() { ICON_AT=$(icon_in_bar "$1"); }
wait_icon_in_bar() { wait_until _icon_shown "$1" || fail "no icon in the $1 bar"; }

# The entries of an open white menu over the bottom right of the screen: prints "X Y" for each
# row of text, top to bottom; fails while no menu shows. Moves the pointer out of its way first.
menu_entries() {
    local shot
    in_session swaymsg -q seat - cursor set 200 200
    shot=$(sway_shot menu) || return 1
    _pixels "$shot" 400x300+400+300 | awk '
        $3 > 245 && $4 > 245 && $5 > 245 {
            if (!n++ || $1 < x0) x0 = $1; if ($1 > x1) x1 = $1
            if (n == 1 || $2 < y0) y0 = $2; if ($2 > y1) y1 = $2
        }
        $3 + $4 + $5 < 400 {dark[$2] = dark[$2] " " $1}
        END {
            if (n < 2000) exit 1
            for (y = y0 + 4; y <= y1 - 4; y++) { # inside the menu'"'"'s edges
                text = 0; k = split(dark[y], xs, " ")
                for (i = 1; i <= k; i++) if (xs[i] > x0 + 4 && xs[i] < x1 - 4) text = 1
                if (text && !start) start = y
                if (!text && start) {printf "%d %d\n", (x0 + x1) / 2, (start + y - 1) / 2; start = 0}
            }
        }'
}

# The seat's pointer: moves to "X Y", then clicks BUTTON (button1 left, button2 middle, button3
# right) or turns the wheel one notch (up or down).
pointer_click() {
    # shellcheck disable=SC2086
    in_session swaymsg -q seat - cursor set $1 &&
        in_session swaymsg -q seat - cursor press "$2" &&
        in_session swaymsg -q seat - cursor release "$2"
}
pointer_wheel() {
    # shellcheck disable=SC2086
    in_session swaymsg -q seat - cursor set $1 &&
        in_session swaymsg -q seat - cursor press "$([ "$2" = up ] && echo button4 || echo button5)"
}
