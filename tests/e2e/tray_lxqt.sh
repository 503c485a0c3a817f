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

# The panel's own clicks and wheel on the icon, as seen by the sink.
clicks="left 6554
up 13108
down 6554
middle yes
middle no"

BRENNET_TRAY=xembed brennet_start_sni
! item_is_brennet || fail "BRENNET_TRAY=xembed: Brennet did not dock into the proxy"
gestures_expect panel_gesture <<<"$clicks
right 0"
brennet_stop
wait_until _no_item || fail "the proxy kept the icon of a Brennet that ended"

brennet_start_sni
wait_until item_is_brennet || fail "Brennet stayed behind the proxy: $(sni_items)"
gestures_expect panel_gesture <<<"$clicks
menu1 13108
menu2 6554
menu3 yes
menu3 no
menu6 options"
grep -q 'qtbase_zh_CN\.qm' "/proc/$BRENNET_PID/maps" || fail "Qt's own texts are not in Chinese"
options_close
gestures_expect panel_gesture <<<"menu7 gone"
pass "lxqt-panel and xembedsniproxy: clicks, middle, wheel, each menu entry"
