#!/usr/bin/env bash
# Helpers for the tests in a headless Wayland session (scripts/sway-start: sway without Xwayland,
# swaybar at the top, waybar at the bottom, a private session bus). Source it after lib.sh:
#
#   sway_setup; brennet_run; wait_icon_in_bar top; pointer "$ICON_AT" left
#
# The pointer is the seat's own (`swaymsg seat - cursor ...`), as a user's mouse moves and clicks;
# its wheel turns by notches of the session's virtual pointer.
SWAY_DIR=

# e2e_setup without X, then the session, whose client variables it exports; brennet_run,
# in_session and the item's helpers of lib.sh run their programs in it from then on.
sway_setup() {
    e2e_setup --no-x
    SWAY_DIR=$E2E_DIR/sway
    "$BRENNET_SOURCE_DIR/scripts/sway-start" "$SWAY_DIR" || fail "the sway session did not start"
    # shellcheck disable=SC1091
    source "$SWAY_DIR/env"
    E2E_IN_SESSION=("$SWAY_DIR/in-session")
}

# The pixels of a screenshot's area WxH+X+Y: one "x y r g b" line each.
_pixels() {
    local at=${1#*+}
    in_session grim -g "${at%+*},${at#*+} ${1%%+*}" - | convert - -depth 8 txt:- |
        awk -F'[,:() ]+' -v at="$1" 'BEGIN {split(at, o, "+")}
            !/^#/ {print $1 + o[2], $2 + o[3], $3, $4, $5}'
}

# Sets ICON_AT to the centre ("X Y") of the blue speaker in the top or bottom bar, once it shows.
_icon_shown() {
    ICON_AT=$(_pixels "800x30+0+$([ "$1" = top ] && echo 0 || echo 570)" |
        awk '$5 > $3 + 60 && $5 > 150 {n++; x += $1; y += $2}
            END {if (n < 20) exit 1; print int(x / n), int(y / n)}')
}
wait_icon_in_bar() { wait_until _icon_shown "$1" || fail "no icon in the $1 bar"; }

# Sets MENU to the centres ("X Y" lines, top to bottom) of the rows of text in the white menu
# that shows over the bottom right of the screen, with the pointer moved out of its way; fails
# while it shows fewer than N rows: _menu_shown N.
_menu_shown() {
    in_session swaymsg -q seat - cursor set 200 200
    MENU=$(_pixels 200x300+600+300 | awk '
        $3 > 245 && $4 > 245 && $5 > 245 {
            n++; x0 = n == 1 || $1 < x0 ? $1 : x0; x1 = $1 > x1 ? $1 : x1
            y0 = n == 1 || $2 < y0 ? $2 : y0; y1 = $2 > y1 ? $2 : y1}
        $3 + $4 + $5 < 400 {dark[$2] = dark[$2] " " $1}
        END {
            if (n < 2000) exit 1
            for (y = y0 + 4; y <= y1 - 4; y++) { # inside the edges
                text = 0; k = split(dark[y], xs, " ")
                for (i = 1; i <= k; i++) text = text || (xs[i] > x0 + 4 && xs[i] < x1 - 4)
                if (text && !top) top = y
                if (!text && top) {print int((x0 + x1) / 2), int((top + y - 1) / 2); top = 0}
            }
        }') && [ "$(wc -l <<<"$MENU")" -ge "$1" ]
}

# pointer "X Y" GESTURE: left, middle or right click there, turn the wheel up or down one notch
# there, or menuN: open the menu there with a right click and click its Nth entry.
pointer() {
    if [[ $2 == menu* ]]; then
        pointer "$1" right
        wait_until -t 10 _menu_shown "${2#menu}" || fail "a right click at $1 opened no menu"
        pointer "$(sed -n "${2#menu}p" <<<"$MENU")" left
        return
    fi
    # shellcheck disable=SC2086
    in_session swaymsg -q seat - cursor set $1 || return
    case $2 in
    up) in_session "$SWAY_DIR/virtual-pointer" wheel -1 ;;
    down) in_session "$SWAY_DIR/virtual-pointer" wheel 1 ;;
    *)
        in_session swaymsg -q seat - cursor press "button${BUTTON[$2]}" &&
            in_session swaymsg -q seat - cursor release "button${BUTTON[$2]}"
        ;;
    esac
}
