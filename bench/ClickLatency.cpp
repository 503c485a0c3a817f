// Click latency bench: how long after the input is sent does the sound server report the
// volume change? Four measurements, each over N clicks or signals:
//   brennet  xdotool releases the button on Brennet's tray icon (pressed 150 ms before, so it
//            is a click) -> the server's change event on the sink (`pactl subscribe`);
//   input    the same xdotool release on a window of this program -> the release reaching it
//            (the input path alone);
//   floor    a libpulse client in this process, connected beforehand, whose main loop sets
//            the default sink's volume (pa_context_set_sink_volume_by_name, not waiting for
//            the reply) when a byte arrives on a pipe it watches: the byte written -> the
//            server's change event (the client library and server path alone);
//   alsa     a running process that makes one ALSA mixer write per signal: the signal -> the
//            server's change event (the same over ALSA's pulse plugin).
// Brennet's figure against the input path plus the floor is what the program itself adds.
//
// Usage: ClickLatency ICON_WINDOW [N]   (DISPLAY, and the sound server's client environment;
//        Brennet runs with the click sound off and the volume away from both ends)
// Prints median and 90th percentile per measurement, in milliseconds.

#include "PulseWriter.h"

#include <alsa/asoundlib.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Runs a command with its output discarded; wait=false returns at once with its pid.
pid_t run(std::vector<std::string> args, bool wait = true) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        std::exit(2);
    }
    posix_spawn_file_actions_destroy(&files);
    if (wait) {
        waitpid(pid, nullptr, 0);
    }
    return pid;
}

// The server's change events on sinks, timestamped as `pactl subscribe` reports them.
class SinkEvents {
public:
    SinkEvents() {
        int fds[2];
        if (pipe(fds) != 0) {
            std::exit(2);
        }
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, fds[1], 1);
        posix_spawn_file_actions_addclose(&files, fds[0]);
        posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>("pactl"), const_cast<char*>("subscribe"), nullptr};
        if (posix_spawnp(&pid_, "pactl", &files, nullptr, argv, environ) != 0) {
            std::perror("pactl");
            std::exit(2);
        }
        close(fds[1]);
        stream_ = fdopen(fds[0], "r");
        reader_ = std::thread([this] { read(); });
        // Subscribed once our own client connection shows up.
        while (clients_ == 0) {
            run({"pactl", "info"});
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~SinkEvents() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        reader_.join();
        fclose(stream_);
    }
    // Forgets the events so far.
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }
    // The first change event on a sink at or after t0; a zero time point after 3 s.
    Clock::time_point next(Clock::time_point t0) {
        std::unique_lock<std::mutex> lock(mutex_);
        Clock::time_point found{};
        cv_.wait_for(lock, std::chrono::seconds(3), [&] {
            for (auto t : events_) {
                if (t >= t0) {
                    found = t;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

private:
    void read() {
        char line[256];
        while (fgets(line, sizeof line, stream_)) {
            const auto now = Clock::now();
            std::lock_guard<std::mutex> lock(mutex_);
            if (std::strstr(line, "'change' on sink #")) {
                events_.push_back(now);
                cv_.notify_all();
            } else if (std::strstr(line, "on client #")) {
                ++clients_;
            }
        }
    }

    pid_t pid_ = 0;
    FILE* stream_ = nullptr;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Clock::time_point> events_;
    int clients_ = 0;
};

struct Stats {
    double median;
    double p90;
    int n;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) {
        return {0, 0, 0};
    }
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 9 / 10)],
            static_cast<int>(v.size())};
}

void settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
}

std::vector<double> measureBrennet(SinkEvents& events, unsigned long icon, int n) {
    const std::string window = std::to_string(icon);
    std::vector<double> out;
    for (int i = 0; i < n; ++i) {
        const std::string button = i % 2 ? "3" : "1";  // up, down, up, ...: stays in range
        run({"xdotool", "mousemove", "--window", window, "8", "8", "mousedown", button});
        settle();
        events.clear();
        const auto t0 = Clock::now();
        const pid_t pid = run({"xdotool", "mouseup", button}, false);
        const auto t1 = events.next(t0);
        waitpid(pid, nullptr, 0);
        if (t1 != Clock::time_point{}) {
            out.push_back(ms(t1 - t0));
        }
        settle();
    }
    return out;
}

std::vector<double> measureInput(int n) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    const uint32_t values[] = {screen->white_pixel, 1,
                               XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 600, 400, 24, 24, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c, w);
    xcb_flush(c);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::string window = std::to_string(w);
    std::vector<double> out;
    for (int i = 0; i < n; ++i) {
        run({"xdotool", "mousemove", "--window", window, "8", "8", "mousedown", "1"});
        settle();
        while (auto* e = xcb_poll_for_event(c)) {
            std::free(e);
        }
        const auto t0 = Clock::now();
        const pid_t pid = run({"xdotool", "mouseup", "1"}, false);
        Clock::time_point t1{};
        while (t1 == Clock::time_point{} && ms(Clock::now() - t0) < 3000) {
            xcb_generic_event_t* e = xcb_wait_for_event(c);
            if (!e) {
                break;
            }
            if ((e->response_type & 0x7f) == XCB_BUTTON_RELEASE) {
                t1 = Clock::now();
            }
            std::free(e);
        }
        waitpid(pid, nullptr, 0);
        if (t1 != Clock::time_point{}) {
            out.push_back(ms(t1 - t0));
        }
    }
    xcb_destroy_window(c, w);
    xcb_disconnect(c);
    return out;
}

// N times: trigger() -> the next change event on a sink.
template <typename Trigger>
std::vector<double> measureSignals(SinkEvents& events, int n, Trigger trigger) {
    std::vector<double> out;
    for (int i = 0; i < n; ++i) {
        settle();
        events.clear();
        const auto t0 = Clock::now();
        trigger();
        const auto t1 = events.next(t0);
        if (t1 != Clock::time_point{}) {
            out.push_back(ms(t1 - t0));
        }
    }
    return out;
}

std::vector<double> measureFloor(SinkEvents& events, int n) {
    PulseWriter writer;
    return writer.ready() ? measureSignals(events, n, [&] { writer.trigger(); })
                          : std::vector<double>{};
}

// The ALSA floor's child: opens the mixer, then writes the master volume once per SIGUSR1.
[[noreturn]] void mixerWriter(int readyFd) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    snd_mixer_t* mixer = nullptr;
    snd_mixer_open(&mixer, 0);
    snd_mixer_attach(mixer, "default");
    snd_mixer_selem_register(mixer, nullptr, nullptr);
    snd_mixer_load(mixer);
    snd_mixer_selem_id_t* id;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, "Master");
    snd_mixer_elem_t* elem = snd_mixer_find_selem(mixer, id);
    long low = 0, high = 0;
    if (elem) {
        snd_mixer_selem_get_playback_volume_range(elem, &low, &high);
    }
    (void)!write(readyFd, elem ? "1" : "0", 1);
    for (long i = 0;; ++i) {
        int sig = 0;
        sigwait(&set, &sig);
        if (sig != SIGUSR1) {
            _exit(0);
        }
        snd_mixer_selem_set_playback_volume_all(elem, low + (high - low) / 4 + (i % 2) * 1000);
    }
}

std::vector<double> measureAlsa(SinkEvents& events, int n) {
    int fds[2];
    if (pipe(fds) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        mixerWriter(fds[1]);
    }
    char ok = '0';
    (void)!read(fds[0], &ok, 1);
    std::vector<double> out;
    if (ok == '1') {
        out = measureSignals(events, n, [&] { kill(child, SIGUSR1); });
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return out;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ICON_WINDOW [N]\n", argv[0]);
        return 2;
    }
    const unsigned long icon = std::strtoul(argv[1], nullptr, 0);
    const int n = argc > 2 ? std::atoi(argv[2]) : 50;
    SinkEvents events;
    run({"pactl", "set-sink-volume", "@DEFAULT_SINK@", "32768"});

    const Stats input = stats(measureInput(n));
    const Stats brennet = stats(measureBrennet(events, icon, n));
    // The ALSA writer is forked before this process uses libpulse itself: libpulse refuses to
    // run in a forked child of a process that has, and ALSA's pulse plugin would fall back to
    // a sound card.
    const Stats alsa = stats(measureAlsa(events, n));
    const Stats floor = stats(measureFloor(events, n));

    const auto row = [](const char* what, const Stats& s) {
        std::printf("%-50s %8.2f %8.2f %6d\n", what, s.median, s.p90, s.n);
    };
    const auto above = [](const char* what, double d) { std::printf("%-50s %8.2f\n", what, d); };
    std::printf("%-50s %8s %8s %6s\n", "click latency (ms)", "median", "p90", "n");
    row("brennet: release sent -> sink change event", brennet);
    row("input path: release sent -> X client", input);
    row("floor: signal -> libpulse write -> change event", floor);
    row("alsa: signal -> ALSA mixer write -> change event", alsa);
    above("brennet above the input path (median)", brennet.median - input.median);
    above("brennet above the floor (median)", brennet.median - floor.median);
    above("brennet above input path + floor (median)",
          brennet.median - input.median - floor.median);
    return brennet.n == n && floor.n == n ? 0 : 1;
}
