#!/usr/bin/env bash
# Helpers for tests with real StatusNotifierItem hosts under the Xvfb of lib.sh: a private session
# bus, LXQt's panel with its status notifier, KDE's xembedsniproxy in front of it, and the real
# pointer on the icon the panel draws. Source it after lib.sh; call hosts_bus after e2e_setup.
#
#   hosts_bus; lxqt_start; brennet_start_sni   # Brennet's item in the panel
#   panel_click 1; wait_volume 6554            # a real click on the panel's first icon
#   menu_choose 1                              # right click, then the menu's first entry
#
# XEMBEDSNIPROXY is the proxy's binary (scripts/get-xembedsniproxy puts it there).
XEMBEDSNIPROXY=${XEMBEDSNIPROXY:-/var/cache/brennet-test/xembedsniproxy}

# A private session bus; the trayer of e2e_setup is stopped, since the panels are the trays here.
hosts_bus() {
    dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$E2E_DIR/bus.address" \
        4>"$E2E_DIR/bus.pid" || fail "no private session bus"
    _e2e_bg_pids+=("$(cat "$E2E_DIR/bus.pid")")
    export DBUS_SESSION_BUS_ADDRESS NO_AT_BRIDGE=1 # no accessibility bus beside the private one
    DBUS_SESSION_BUS_ADDRESS=$(cat "$E2E_DIR/bus.address")
    "$BRENNET_SOURCE_DIR/scripts/x-stop" "$E2E_DIR/x" --tray-only
}

# The items the watcher knows, one a line ("" when no watcher runs).
sni_items() {
    gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
        -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
        RegisteredStatusNotifierItems 2>/dev/null | grep -oE "'[^']+'" | tr -d "'"
}
_watcher_up() { gdbus introspect --session -d org.kde.StatusNotifierWatcher -o / >/dev/null 2>&1; }
item_is_brennet() { sni_items | grep -qE "^org.kde.StatusNotifierItem-$BRENNET_PID-1(/|$)"; }
_one_item() { [ "$(sni_items | wc -l)" = 1 ]; }
_no_item() { [ -z "$(sni_items)" ]; }

# lxqt-panel across the top with only its status notifier, which is also the watcher.
lxqt_start() {
    mkdir -p "$XDG_CONFIG_HOME/lxqt"
    printf '%s\n' '[panel1]' plugins=statusnotifier position=Top panelSize=32 iconSize=24 \
        '[statusnotifier]' type=statusnotifier alignment=Left >"$XDG_CONFIG_HOME/lxqt/panel.conf"
    lxqt-panel >>"$E2E_DIR/panel.log" 2>&1 &
    _e2e_bg_pids+=($!)
    wait_until _watcher_up || fail "lxqt-panel's status notifier did not start"
}

# KDE's xembedsniproxy: an XEmbed tray that shows each icon as an item of its own.
proxy_start() {
    [ -x "$XEMBEDSNIPROXY" ] || fail "no $XEMBEDSNIPROXY (run scripts/install-deps --test)"
    QT_LOGGING_RULES=kde.xembedsniproxy.debug=true "$XEMBEDSNIPROXY" >>"$E2E_DIR/proxy.log" 2>&1 &
    _e2e_bg_pids+=($!)
    wait_until grep -q "Manager selection claimed" "$E2E_DIR/proxy.log" ||
        fail "xembedsniproxy did not take the tray selection"
}

# Starts $BRENNET and waits until the panel shows one item (Brennet's own or the proxy's).
brennet_start_sni() {
    "$BRENNET" "$@" >>"$E2E_DIR/brennet.log" 2>&1 &
    BRENNET_PID=$!
    wait_until _one_item || fail "the panel shows no item for Brennet"
}

# A click (or a wheel notch: 4 up, 5 down) with the real pointer on the panel's first icon.
panel_click() { xdotool mousemove 16 16 click "$1"; }

# The menu as the panel pops it up: right click, then entry N (1 to 5) with the pointer.
_menu_shown() { # the panel's visible window other than the panel
    local panel
    panel=$(xdotool search --onlyvisible --name '^LXQt Panel$' | head -n 1)
    MENU=$(xdotool search --onlyvisible --classname '^lxqt-panel$' | grep -vx "$panel" | head -n 1)
    [ -n "$MENU" ]
}
menu_choose() {
    local x y w h rows=(0 7 21 34 47 61 79 93) # each entry's middle, in hundredths of the menu's height
    panel_click 3
    wait_until _menu_shown || fail "right click: no menu"
    read -r x y w h < <(icon_geometry "$MENU")
    xdotool mousemove $((x + w / 3)) $((y + h * rows[$1] / 100)) click 1
    wait_until -t 5 _menu_gone || fail "the menu did not close after choosing entry $1"
}
_menu_gone() { ! _menu_shown; }
