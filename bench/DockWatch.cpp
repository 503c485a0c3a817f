// Start-up bench helper: starts a program, watches the X server and reports how long after
// the exec its tray icon was embedded in the tray (reparented away from the root and mapped)
// and then drawn (its pixels no longer one flat colour).
//
// Usage: DockWatch PROGRAM [ARGS...]   (DISPLAY names the X server with the tray)
// Prints one line "pid embedded_ms drawn_ms" and leaves the program running, its output going
// to DOCKWATCH_LOG (default /dev/null). Exit status 1 when nothing docked within 20 s.

#include <xcb/xcb.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

template <typename T>
std::unique_ptr<T, decltype(&std::free)> owned(T* p) {
    return {p, &std::free};
}

bool isMapped(xcb_connection_t* c, xcb_window_t w) {
    auto reply =
        owned(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

// Whether the window shows more than one colour (the icon drawn over the tray's background).
bool isDrawn(xcb_connection_t* c, xcb_window_t w) {
    auto geometry = owned(xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
    if (!geometry) {
        return false;
    }
    auto image = owned(xcb_get_image_reply(c,
                                           xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0,
                                                         geometry->width, geometry->height, ~0u),
                                           nullptr));
    if (!image || xcb_get_image_data_length(image.get()) < 8) {
        return false;
    }
    const auto* pixels = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image.get()));
    const int n = xcb_get_image_data_length(image.get()) / 4;
    for (int i = 1; i < n; ++i) {
        if ((pixels[i] & 0xFFFFFF) != (pixels[0] & 0xFFFFFF)) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "DockWatch: no X display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    const char* log = std::getenv("DOCKWATCH_LOG");
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, log ? log : "/dev/null",
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);

    pid_t pid = 0;
    const auto t0 = Clock::now();
    if (posix_spawn(&pid, argv[1], &files, nullptr, argv + 1, environ) != 0) {
        std::perror("DockWatch: spawn");
        return 2;
    }

    // A window leaving the root for another parent is the tray taking in an icon.
    xcb_window_t icon = 0;
    double embeddedMs = -1;
    double drawnMs = -1;
    const auto deadline = t0 + std::chrono::seconds(20);
    while (Clock::now() < deadline && embeddedMs < 0) {
        auto event = owned(xcb_poll_for_event(c));
        if (!event) {
            if (xcb_connection_has_error(c)) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            continue;
        }
        const int type = event->response_type & 0x7f;
        if (type == XCB_REPARENT_NOTIFY) {
            auto* e = reinterpret_cast<xcb_reparent_notify_event_t*>(event.get());
            if (e->event == root && e->parent != root) {
                icon = e->window;
                const uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(c, icon, XCB_CW_EVENT_MASK, &structure);
                if (isMapped(c, icon)) {
                    embeddedMs = msSince(t0);
                }
            }
        } else if (type == XCB_MAP_NOTIFY && icon) {
            auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
            if (e->window == icon) {
                embeddedMs = msSince(t0);
            }
        }
    }
    // Drawn: poll the window's pixels every 0.2 ms.
    while (embeddedMs >= 0 && Clock::now() < deadline) {
        if (isDrawn(c, icon)) {
            drawnMs = msSince(t0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    xcb_disconnect(c);
    std::printf("%d %.1f %.1f\n", static_cast<int>(pid), embeddedMs, drawnMs);
    return drawnMs < 0 ? 1 : 0;
}
