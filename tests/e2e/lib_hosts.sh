#!/usr/bin/env bash
# Helpers for tests with real StatusNotifierItem hosts under the Xvfb of lib.sh: a private session
# bus, LXQt's panel with its status notifier, KDE's xembedsniproxy in front of it, and the real
# pointer on the icon the panel draws. Source it after lib.sh; call hosts_bus after e2e_setup.
#
#   hosts_bus; lxqt_start; brennet_start_sni   # Brennet's item in the panel
#   panel_gesture left; wait_volume 6554       # a real click on the panel's first icon
#   panel_gesture menu1                        # right click, then the menu's first entry
#
# XEMBEDSNIPROXY is the proxy's binary (scripts/get-xembedsniproxy puts it there).
XEMBEDSNIPROXY=${XEMBEDSNIPROXY:-/var/cache/brennet-test/xembedsniproxy}

# A private session bus; the trayer of e2e_setup is stopped, since the panels are the trays here.
hosts_bus() {
    private_bus
    "$BRENNET_SOURCE_DIR/scripts/x-stop" "$E2E_DIR/x" --tray-only
}
_watcher_up() { gdbus introspect --session -d org.kde.StatusNotifierWatcher -o / >/dev/null 2>&1; }
_one_item() { [ "$(sni_items | wc -l)" = 1 ]; }
_no_item() { [ -z "$(sni_items)" ]; }

# Closes the options dialog as its window's close button does, and waits until it is gone.
options_close() {
    xdotool windowclose "$OPTIONS"
    wait_until -t 10 eval '! _options_shown' || fail "the options dialog did not close"
}

# lxqt-panel across the top with only its status notifier, which is also the watcher.
lxqt_start() {
    mkdir -p "$XDG_CONFIG_HOME/lxqt"
    printf '%s\n' '[panel1]' plugins=statusnotifier position=Top panelSize=32 iconSize=24 \
        '[statusnotifier]' type=statusnotifier alignment=Left >"$XDG_CONFIG_HOME/lxqt/panel.conf"
    spawn panel.log lxqt-panel
    wait_until _watcher_up || fail "lxqt-panel's status notifier did not start"
}

# KDE's xembedsniproxy: an XEmbed tray that shows each icon as an item of its own.
proxy_start() {
    [ -x "$XEMBEDSNIPROXY" ] || fail "no $XEMBEDSNIPROXY (run scripts/install-deps --test)"
    spawn proxy.log env QT_LOGGING_RULES=kde.xembedsniproxy.debug=true "$XEMBEDSNIPROXY"
    wait_until grep -q "Manager selection claimed" "$E2E_DIR/proxy.log" ||
        fail "xembedsniproxy did not take the tray selection"
}

# Starts $BRENNET and waits until the panel shows one item (Brennet's own or the proxy's).
brennet_start_sni() {
    brennet_run "$@"
    wait_until _one_item || fail "the panel shows no item for Brennet"
}

# A gesture with the real pointer on the panel's first icon: a click or wheel notch (see BUTTON),
# or menuN: the menu as the panel pops it up on a right click, and its entry N (1 to 7).
_menu_shown() { # the panel's visible window other than the panel
    local panel
    panel=$(xdotool search --onlyvisible --name '^LXQt Panel$' | head -n 1)
    MENU=$(xdotool search --onlyvisible --classname '^lxqt-panel$' | grep -vx "$panel" | head -n 1)
    [ -n "$MENU" ]
}
panel_gesture() {
    local x y w h rows=(0 7 21 34 47 61 79 93) # each entry's middle, in hundredths of the menu's height
    case $1 in
    menu*)
        panel_gesture right
        wait_until _menu_shown || fail "right click: no menu"
        read -r x y w h < <(icon_geometry "$MENU")
        xdotool mousemove $((x + w / 3)) $((y + h * rows[${1#menu}] / 100)) click 1
        wait_until -t 5 eval '! _menu_shown' || fail "the menu did not close after $1"
        ;;
    *) xdotool mousemove 16 16 click "${BUTTON[$1]}" ;;
    esac
}

# GNOME Shell as the window manager of the Xvfb, with the AppIndicator extension (its
# StatusNotifierWatcher and its legacy XEmbed tray), a private system bus and private settings.
gnome_start() {
    private_bus DBUS_SYSTEM_BUS_ADDRESS
    export GSETTINGS_BACKEND=keyfile XDG_DATA_HOME=$E2E_DIR/data XDG_CACHE_HOME=$E2E_DIR/cache
    gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com']"
    spawn gnome-shell.log gnome-shell --x11 --replace
    wait_until -t 60 grep -q "GNOME Shell started" "$E2E_DIR/gnome-shell.log" && wait_until _watcher_up ||
        fail "GNOME Shell with its AppIndicator extension did not start"
}
# A gesture with the real pointer on Brennet's icon in the top bar, found by its blue among the
# bar's grey and white: left, middle, right, double, or menuN: the item's menu, which a left click
# opens, and its entry N (1 to 7) at a fixed place under it.
_gnome_icon() {
    GNOME_ICON_X=$(import -window root -crop 1280x32+0+0 -depth 8 txt:- | awk -F'[,:() ]+' \
        'NR > 1 && $5 > 150 && $3 < 120 {s += $1; n++} END {if (n > 20) print int(s / n)}')
    [ -n "$GNOME_ICON_X" ]
}
_gnome_menu_shown() { # the menu's grey at its lower right corner (GNOME 43's, 48's)
    import -window root -crop 1x1+1265+235 -depth 8 txt:- | grep -qE '\((48,48,48|54,54,58)\)'
}
gnome_gesture() {
    local rows=(0 62 98 134 170 206 256 293)
    wait_until _gnome_icon || fail "no icon of Brennet in GNOME's top bar"
    case $1 in
    double) xdotool mousemove "$GNOME_ICON_X" 15 click --repeat 2 --delay 80 1 ;;
    menu*)
        gnome_gesture left
        wait_until -t 5 _gnome_menu_shown || fail "a left click opened no menu"
        sleep 0.3 # until it has slid in
        xdotool mousemove 1120 "${rows[${1#menu}]}" click 1
        wait_until -t 5 eval '! _gnome_menu_shown' || fail "the menu did not close after $1"
        ;;
    *) xdotool mousemove "$GNOME_ICON_X" 15 click "${BUTTON[$1]}" ;;
    esac
}
