#include "XEmbedTray.h"

#include "TrayIconWidget.h"
#include "TrayMenuPopup.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>

#include <xcb/res.h>

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t SYSTEM_TRAY_REQUEST_DOCK = 0;
constexpr uint32_t XEMBED_VERSION = 0;
constexpr uint32_t XEMBED_MAPPED = 1;
// The size the icon asks the tray for, in device-independent pixels.
constexpr int kIconSize = 24;
// How long a synthetic press waits for its release before it counts as a press of its own.
constexpr int kPairMs = 50;
constexpr uint8_t kLeftButton = 1;
constexpr uint8_t kRightButton = 3;
constexpr uint8_t kWheelUp = 4;
constexpr uint8_t kWheelDown = 5;
constexpr uint8_t kWheelRight = 7;  // 6 and 7 turn sideways
// The programs whose trays only stand in for a StatusNotifierItem host.
const char* const kProxies[] = {"xembedsniproxy", "gnome-shell"};

xcb_atom_t internAtom(xcb_connection_t* c, xcb_intern_atom_cookie_t cookie) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

xcb_intern_atom_cookie_t requestAtom(xcb_connection_t* c, const std::string& name) {
    return xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str());
}

// The depth of a visual of the screen, 0 when the screen has no such visual.
int visualDepth(const xcb_screen_t* screen, xcb_visualid_t visual) {
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == visual) {
                return d.data->depth;
            }
        }
    }
    return 0;
}

}  // namespace

XEmbedTray::XEmbedTray() {
    pendingTimer_.setSingleShot(true);
    pendingTimer_.setInterval(kPairMs);
    connect(&pendingTimer_, &QTimer::timeout, this, &XEmbedTray::flushPendingPress);
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) {
        return;
    }
    connection_ = x11->connection();

    // The screen Qt connected to is the one named by DISPLAY.
    char* host = nullptr;
    int display = 0;
    int screenNumber = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screenNumber)) {
        std::free(host);
    } else {
        screenNumber = 0;
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber && it.rem > 1; ++i) {
        xcb_screen_next(&it);
    }
    root_ = it.data->root;

    const auto selection =
        requestAtom(connection_, "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber));
    const auto opcode = requestAtom(connection_, "_NET_SYSTEM_TRAY_OPCODE");
    const auto visual = requestAtom(connection_, "_NET_SYSTEM_TRAY_VISUAL");
    const auto manager = requestAtom(connection_, "MANAGER");
    const auto xembedInfo = requestAtom(connection_, "_XEMBED_INFO");
    const auto attributes = xcb_get_window_attributes(connection_, root_);
    selection_ = internAtom(connection_, selection);
    opcode_ = internAtom(connection_, opcode);
    visualAtom_ = internAtom(connection_, visual);
    manager_ = internAtom(connection_, manager);
    xembedInfo_ = internAtom(connection_, xembedInfo);

    // A tray that starts announces itself to the root window's structure listeners. Other parts
    // of the program listen on the root too, so add to their mask rather than replace it.
    uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    if (auto* reply = xcb_get_window_attributes_reply(connection_, attributes, nullptr)) {
        mask |= reply->your_event_mask;
        std::free(reply);
    }
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    qApp->installNativeEventFilter(this);
}

XEmbedTray::~XEmbedTray() {
    if (qApp) {
        qApp->removeNativeEventFilter(this);
    }
    for (auto& entry : icons_) {
        delete entry.second.widget;
    }
}

bool XEmbedTray::Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) {
    if (!connection_) {
        return false;
    }
    switch (dwMessage) {
        case NIM_ADD:
            return add(data);
        case NIM_MODIFY:
            return modify(data);
        case NIM_DELETE:
            return remove(data);
        default:
            return false;
    }
}

bool XEmbedTray::add(const NOTIFYICONDATA& data) {
    const Key key(data.hWnd, data.uID);
    if (icons_.count(key)) {
        return false;  // that icon is shown already; it stays as it is
    }
    Icon& icon = icons_[key];
    icon.hWnd = data.hWnd;
    if (data.uFlags & NIF_MESSAGE) {
        icon.uCallbackMessage = data.uCallbackMessage;
    }
    if (data.uFlags & NIF_ICON) {
        icon.icon = data.hIcon;
    }
    if (data.uFlags & NIF_TIP) {
        icon.tip = tipWithLine(data);
    }
    lookUpTray();
    createWidget(icon);
    dock(icon);
    return true;
}

bool XEmbedTray::modify(const NOTIFYICONDATA& data) {
    auto found = icons_.find(Key(data.hWnd, data.uID));
    if (found == icons_.end()) {
        return false;
    }
    Icon& icon = found->second;
    if (data.uFlags & NIF_MESSAGE) {
        icon.uCallbackMessage = data.uCallbackMessage;
    }
    if (data.uFlags & NIF_ICON) {
        icon.icon = data.hIcon;
        icon.widget->setIcon(icon.icon);
    }
    if (data.uFlags & NIF_TIP) {
        icon.tip = tipWithLine(data);
        icon.widget->setToolTip(icon.tip);
    }
    return true;
}

void XEmbedTray::setMenu(TrayMenu* menu) {
    delete popup_;
    popup_ = menu ? new TrayMenuPopup(menu, this) : nullptr;
}

bool XEmbedTray::remove(const NOTIFYICONDATA& data) {
    auto found = icons_.find(Key(data.hWnd, data.uID));
    if (found == icons_.end()) {
        return false;
    }
    TrayIconWidget* widget = found->second.widget;
    icons_.erase(found);
    // Out of the tray now: the tray drops an icon whose window leaves it. The widget itself
    // goes later, since this may run inside one of its own mouse events.
    widget->disconnect(this);
    widget->hide();
    xcb_reparent_window(connection_, widget->window(), root_, 0, 0);
    xcb_flush(connection_);
    widget->deleteLater();
    return true;
}

void XEmbedTray::createWidget(Icon& icon) {
    icon.widget = new TrayIconWidget(connection_, trayTranslucent_, kIconSize);
    icon.widget->setIcon(icon.icon);
    icon.widget->setToolTip(icon.tip);
    const xcb_window_t window = icon.widget->window();
    const uint32_t info[] = {XEMBED_VERSION, XEMBED_MAPPED};
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, xembedInfo_, xembedInfo_, 32, 2,
                        info);
    TrayIconWidget* widget = icon.widget;
    connect(widget, &TrayIconWidget::mouseMessage, this, [this, widget](uint32_t message) {
        for (const auto& entry : icons_) {
            if (entry.second.widget == widget) {
                deliver(entry.first, message);
                return;
            }
        }
    });
    connect(widget, &TrayIconWidget::menuRequested, this, [this](const QPoint& pos) {
        if (popup_) {
            popup_->popup(pos);
        }
    });
    connect(widget, &TrayIconWidget::command, this, [this, widget](TrayCommand what) {
        for (const auto& entry : icons_) {
            if (entry.second.widget == widget) {
                command(entry.first, what);
                return;
            }
        }
    });
}

// Button presses and releases on an icon window. A real tray embeds the icon, so the X server
// delivers the user's own presses; a proxy (or a test tool) sends them with XSendEvent, which
// sets the event's sent flag, whatever time stamp it carries. A sent press is held back until
// its release: when the release follows at once, the two are a click, never the start of a
// hold. A sent wheel notch (buttons 4 and 5) steps here, since Qt reads the wheel only from
// the input extension, which sent events never reach. Returns true when the event is consumed.
bool XEmbedTray::filterButton(const xcb_generic_event_t* generic, bool press) {
    const auto* event = reinterpret_cast<const xcb_button_press_event_t*>(generic);
    const bool sent = generic->response_type & 0x80;
    const bool paired = event->detail == kLeftButton || event->detail == kRightButton;
    const Icon* found = nullptr;
    Key key;
    for (const auto& entry : icons_) {
        if (entry.second.widget->window() == event->event) {
            found = &entry.second;
            key = entry.first;
        }
    }
    if (!found) {
        return false;
    }
    if (sent && event->detail >= kWheelUp && event->detail <= kWheelRight) {
        if (press && event->detail <= kWheelDown) {
            command(key, event->detail == kWheelUp ? TrayCommand::StepUp : TrayCommand::StepDown);
            emit syntheticClick();
        }
        return true;
    }
    if (press && sent && paired) {
        flushPendingPress();
        pending_ = {key, event->detail};
        pendingTimer_.start();
        return true;
    }
    if (!press && sent && pending_.button == event->detail && pending_.key == key) {
        pendingTimer_.stop();
        pending_ = {};
        const bool left = event->detail == kLeftButton;
        deliver(key, left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN);
        deliver(key, left ? WM_LBUTTONUP : WM_RBUTTONUP);
        emit syntheticClick();
        return true;
    }
    flushPendingPress();
    return false;
}

// A held-back press whose release did not come with it is an ordinary press.
void XEmbedTray::flushPendingPress() {
    pendingTimer_.stop();
    if (!pending_.button) {
        return;
    }
    const PendingPress pending = pending_;
    pending_ = {};
    deliver(pending.key, pending.button == kLeftButton ? WM_LBUTTONDOWN : WM_RBUTTONDOWN);
}

void XEmbedTray::deliver(const Key& key, uint32_t message) {
    auto found = icons_.find(key);
    if (found != icons_.end() && found->second.hWnd) {
        found->second.hWnd->trayCallback(found->second.uCallbackMessage, message);
    }
}

void XEmbedTray::command(const Key& key, TrayCommand command) {
    auto found = icons_.find(key);
    if (found != icons_.end() && found->second.hWnd) {
        found->second.hWnd->trayCommand(command);
    }
}

void XEmbedTray::lookUpTray() {
    trayOwner_ = 0;
    trayTranslucent_ = false;
    auto owner = xcb_get_selection_owner(connection_, selection_);
    auto* reply = xcb_get_selection_owner_reply(connection_, owner, nullptr);
    if (reply) {
        trayOwner_ = reply->owner;
        std::free(reply);
    }
    if (!trayOwner_) {
        return;
    }
    // A tray that composites its icons names a visual with an alpha channel for them.
    auto property =
        xcb_get_property(connection_, 0, trayOwner_, visualAtom_, XCB_ATOM_VISUALID, 0, 1);
    if (auto* visual = xcb_get_property_reply(connection_, property, nullptr)) {
        if (visual->format == 32 && xcb_get_property_value_length(visual) >= 4) {
            const auto id = *static_cast<xcb_visualid_t*>(xcb_get_property_value(visual));
            auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
            for (; it.rem; xcb_screen_next(&it)) {
                if (it.data->root == root_) {
                    trayTranslucent_ = visualDepth(it.data, id) == 32;
                }
            }
        }
        std::free(visual);
    }
    // Learn when this tray goes away.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, trayOwner_, XCB_CW_EVENT_MASK, &mask);
}

void XEmbedTray::dock(Icon& icon) {
    if (!trayOwner_) {
        return;  // no tray yet: its MANAGER announcement will bring the icon in
    }
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = trayOwner_;
    event.type = opcode_;
    event.data.data32[0] = XCB_CURRENT_TIME;
    event.data.data32[1] = SYSTEM_TRAY_REQUEST_DOCK;
    event.data.data32[2] = icon.widget->window();
    xcb_send_event(connection_, 0, trayOwner_, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection_);
}

void XEmbedTray::dockAll() {
    lookUpTray();
    for (auto& entry : icons_) {
        Icon& icon = entry.second;
        if (icon.widget->embedded()) {
            continue;
        }
        // The window's visual is fixed when it is created: a tray that wants the other kind
        // gets a new window.
        if (icon.widget->translucent() != trayTranslucent_) {
            icon.widget->disconnect(this);
            icon.widget->deleteLater();
            createWidget(icon);
        }
        dock(icon);
    }
}

bool XEmbedTray::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
        case XCB_CLIENT_MESSAGE: {
            const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if (client->window == root_ && client->type == manager_ &&
                client->data.data32[1] == selection_) {
                dockAll();
                emit trayChanged();
            }
            break;
        }
        case XCB_REPARENT_NOTIFY: {
            const auto* reparent = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
            for (auto& entry : icons_) {
                TrayIconWidget* widget = entry.second.widget;
                if (reparent->window == reparent->event && widget->window() == reparent->window) {
                    widget->setEmbedded(reparent->parent != root_);
                }
            }
            break;
        }
        case XCB_DESTROY_NOTIFY: {
            const auto* destroy = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
            if (destroy->window == trayOwner_) {
                trayOwner_ = 0;
                emit trayChanged();
            }
            break;
        }
        case XCB_BUTTON_PRESS:
            return filterButton(event, true);
        case XCB_BUTTON_RELEASE:
            return filterButton(event, false);
        default:
            break;
    }
    return false;
}

xcb_window_t XEmbedTray::iconWindow(HWND hWnd, uint32_t uID) const {
    auto found = icons_.find(Key(hWnd, uID));
    return found == icons_.end() ? 0 : found->second.widget->window();
}

bool XEmbedTray::trayPresent() const {
    if (!connection_) {
        return false;
    }
    auto* reply = xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, selection_), nullptr);
    const bool owned = reply && reply->owner;
    std::free(reply);
    return owned;
}

// The tray's owner window belongs to some client of the X server; the X-Resource extension
// names that client's process, whose name tells a proxy from a tray.
bool XEmbedTray::trayIsProxy() const {
    if (!connection_) {
        return false;
    }
    auto* owner = xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, selection_), nullptr);
    const xcb_window_t window = owner ? owner->owner : 0;
    std::free(owner);
    // A request of an extension the server lacks would close the connection.
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(connection_, &xcb_res_id);
    if (!window || !res || !res->present) {
        return false;  // only the clicks will tell
    }
    xcb_res_client_id_spec_t wanted{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    auto* ids = xcb_res_query_client_ids_reply(
        connection_, xcb_res_query_client_ids(connection_, 1, &wanted), nullptr);
    if (!ids) {
        return false;
    }
    uint32_t pid = 0;
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids); it.rem;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) >= 1) {
            pid = *xcb_res_client_id_value_value(it.data);
        }
    }
    std::free(ids);
    if (!pid) {
        return false;
    }
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray name = comm.readAll().trimmed();
    return std::any_of(std::begin(kProxies), std::end(kProxies),
                       [&name](const char* proxy) { return name == proxy; });
}
