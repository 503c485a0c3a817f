#!/usr/bin/env bash
# Real hosts driven by the real pointer: lxqt-panel's status notifier, first with KDE's
# xembedsniproxy in front of it. Behind the proxy (kept there by BRENNET_TRAY=xembed) every
# click, the middle button and the wheel reach the XEmbed icon; left alone, Brennet knows the
# proxy and shows its own item, where the same gestures and each entry of the menu work, the
# options dialog (with Qt's own texts in Chinese) and quit included.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/lib_hosts.sh"

e2e_setup
settings_write 10 0 0
hosts_bus
lxqt_start
proxy_start
volume_set 0
mute_set 0

gestures() { # the panel's own clicks and wheel on the icon, as seen by the sink
    panel_click 1; wait_volume 6554 || fail "$1: left click"
    panel_click 4; wait_volume 13108 || fail "$1: wheel up"
    panel_click 5; wait_volume 6554 || fail "$1: wheel down"
    panel_click 2; wait_mute yes || fail "$1: middle click should mute"
    panel_click 2; wait_mute no || fail "$1: middle click should unmute"
}

BRENNET_TRAY=xembed brennet_start_sni
! item_is_brennet || fail "BRENNET_TRAY=xembed: Brennet did not dock into the proxy"
gestures "behind xembedsniproxy"
panel_click 3; wait_volume 0 || fail "behind xembedsniproxy: right click"
brennet_stop
wait_until _no_item || fail "the proxy kept the icon of a Brennet that ended"

brennet_start_sni
wait_until item_is_brennet || fail "Brennet stayed behind the proxy: $(sni_items)"
gestures "lxqt-panel"
menu_choose 1; wait_volume 13108 || fail "menu: step up"
menu_choose 2; wait_volume 6554 || fail "menu: step down"
menu_choose 3; wait_mute yes || fail "menu: mute"
menu_choose 3; wait_mute no || fail "menu: unmute"
menu_choose 6; wait_options
grep -q 'qtbase_zh_CN\.qm' "/proc/$BRENNET_PID/maps" || fail "Qt's own texts are not in Chinese"
options_close
menu_choose 7; wait_until -t 10 _gone "$BRENNET_PID" || fail "menu: quit"
pass "lxqt-panel and xembedsniproxy: clicks, middle, wheel, each menu entry"
