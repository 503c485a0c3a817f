// Redraw bench helper: how long after another program changes the default sink the tray icon
// shows it. Each round runs `pactl set-sink-volume @DEFAULT_SINK@` (or set-sink-mute) with a
// value whose picture differs from the one shown (N is rounded up to whole cycles of four), and
// polls the icon window's pixels every 0.5 ms until they change. Then a storm: one change every 2
// ms for 2 s, counting the redraws the icon makes (it redraws at once, then at most about every 33
// ms while changes keep coming).
//
// Usage: RedrawLatency ICON_WINDOW [N]   (DISPLAY names the X server; the PulseAudio client
// variables name the server). Prints a table; exit status 1 when a round saw no redraw.

#include <xcb/xcb.h>

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// The icon window's pixels, or an empty string when it cannot be read.
std::string pixels(xcb_connection_t* c, xcb_window_t w) {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
    if (g == nullptr)
        return {};
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0, g->width, g->height, ~0u), nullptr);
    std::free(g);
    if (image == nullptr)
        return {};
    const auto* data = reinterpret_cast<const char*>(xcb_get_image_data(image));
    std::string out(data, static_cast<size_t>(xcb_get_image_data_length(image)));
    std::free(image);
    return out;
}

pid_t spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

void run(std::vector<std::string> args) {
    const pid_t pid = spawn(std::move(args));
    if (pid > 0)
        waitpid(pid, nullptr, 0);
}

// The change for round i, each altering the picture: the level to 10 % (one wave), to 90 %
// (three), the mute on (the cross), the mute off (three waves again).
std::vector<std::string> change(int i) {
    switch (i % 4) {
        case 0:
            return {"pactl", "set-sink-volume", "@DEFAULT_SINK@", "10%"};
        case 1:
            return {"pactl", "set-sink-volume", "@DEFAULT_SINK@", "90%"};
        case 2:
            return {"pactl", "set-sink-mute", "@DEFAULT_SINK@", "1"};
        default:
            return {"pactl", "set-sink-mute", "@DEFAULT_SINK@", "0"};
    }
}

double median(std::vector<double> v) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ICON_WINDOW [N]\n", argv[0]);
        return 2;
    }
    const auto icon = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
    const int n = (std::max(argc > 2 ? std::atoi(argv[2]) : 20, 1) + 3) / 4 * 4;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 2;
    run({"pactl", "set-sink-mute", "@DEFAULT_SINK@", "0"});
    run({"pactl", "set-sink-volume", "@DEFAULT_SINK@", "50%"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    std::vector<double> redraw, pactlDone;
    for (int i = 0; i < n; ++i) {
        const std::string before = pixels(c, icon);
        const Clock::time_point t0 = Clock::now();
        const pid_t pid = spawn(change(i));
        double exited = -1;
        double seen = -1;
        while (msSince(t0) < 1000 && seen < 0) {
            if (exited < 0 && waitpid(pid, nullptr, WNOHANG) == pid)
                exited = msSince(t0);
            if (pixels(c, icon) != before)
                seen = msSince(t0);
            else
                std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        if (exited < 0) {
            waitpid(pid, nullptr, 0);
            exited = msSince(t0);
        }
        if (seen >= 0)
            redraw.push_back(seen);
        pactlDone.push_back(exited);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // past the redraw pacing
    }

    // The storm: a change every 2 ms (as fast as pactl starts), redraws counted.
    int changes = 0;
    int redraws = 0;
    std::string last = pixels(c, icon);
    const Clock::time_point t0 = Clock::now();
    std::thread storm([&] {
        while (msSince(t0) < 2000) {
            run(change(changes % 2));
            ++changes;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    while (msSince(t0) < 2100) {
        const std::string now = pixels(c, icon);
        if (!now.empty() && now != last) {
            ++redraws;
            last = now;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    storm.join();
    xcb_disconnect(c);

    std::printf("%-50s %8s %8s %6s\n", "outside change -> icon redrawn (ms)", "median", "max", "n");
    std::printf(
        "%-50s %8.2f %8.2f %6zu\n", "brennet: pactl started -> icon pixels changed", median(redraw),
        redraw.empty() ? -1 : *std::max_element(redraw.begin(), redraw.end()), redraw.size());
    std::printf("%-50s %8.2f %8.2f %6zu\n", "for reference: pactl started -> pactl done",
                median(pactlDone), *std::max_element(pactlDone.begin(), pactlDone.end()),
                pactlDone.size());
    std::printf("storm: %d outside changes in 2 s, %d redraws seen (%.1f per second)\n", changes,
                redraws, redraws / 2.1);
    return static_cast<int>(redraw.size()) == n ? 0 : 1;
}
