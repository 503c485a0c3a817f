#pragma once
// A private sound server for one test process: PulseAudio (scripts/pulse-start, pulse-stop) or,
// when the environment has BRENNET_TEST_SERVER=pipewire, PipeWire with pipewire-pulse
// (scripts/pipewire-start, pipewire-stop); both offer the same null sink "nullsink". Constructing
// it points this process's environment at the server (before ALSA is used), so ALSA's "default",
// pactl and amixer all reach it. The destructor stops it and removes its folder; a crash signal
// still ends the server processes.

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

class PulseServer {
public:
    explicit PulseServer(bool sineSource = false) : sine_(sineSource) {
        // Orphaned server processes become our children, so we can reap them when they end.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        char tmpl[] = "/tmp/brennet-pulse-XXXXXX";
        if (mkdtemp(tmpl) != nullptr)
            dir_ = tmpl;
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + dir_ + "/pulse/native").c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
        setenv("HOME", (dir_ + "/home").c_str(), 1);
        unsetenv("PULSE_SINK");
        unsetenv("PULSE_SOURCE");
        installCrashCleanup();
        start();
    }

    ~PulseServer() {
        stop();
        if (!dir_.empty())
            shell("rm -rf '" + dir_ + "'");
        if (current() == this)
            current() = nullptr;
    }

    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    bool start() {
        std::string cmd = script(pipewire() ? "pipewire-start" : "pulse-start") + " '" + dir_ +
                          "'" + (sine_ ? " --sine-source" : "") + " >'" + dir_ + "/start.out' 2>&1";
        running_ = std::system(cmd.c_str()) == 0;
        for (size_t i = 0; i < pids_.size(); ++i)
            pids_[i] =
                std::atoi(shell("cat '" + dir_ + "/" + kPidFiles[i] + "' 2>/dev/null").c_str());
        current() = this;
        return running_;
    }

    void stop() {
        signalServer(SIGCONT);
        std::string cmd = script(pipewire() ? "pipewire-stop" : "pulse-stop");
        std::system((cmd + " '" + dir_ + "' >/dev/null 2>&1").c_str());
        for (pid_t& pid : pids_) {
            if (pid > 0)
                waitpid(pid, nullptr, WNOHANG);  // ours once orphaned (the subreaper above)
            pid = 0;
        }
        running_ = false;
    }

    static bool pipewire() {
        const char* kind = std::getenv("BRENNET_TEST_SERVER");
        return kind != nullptr && std::string(kind) == "pipewire";
    }

    bool running() const { return running_; }
    // Sends the server a signal: SIGKILL ends it as a crash would, SIGSTOP hangs it (SIGCONT
    // lets it go on). stop() still cleans up after either. With PipeWire the server is
    // pipewire-pulse, the process that speaks to the clients.
    void signalServer(int sig) {
        for (pid_t pid : {pids_[1], pids_[2]})
            if (pid > 0)
                ::kill(pid, sig);
    }
    std::string startLog() const { return shell("cat '" + dir_ + "/start.out'"); }

    // Runs a shell command and returns its standard output.
    static std::string shell(const std::string& cmd) {
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[4096];
            for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
                out.append(buf, n);
            pclose(p);
        }
        return out;
    }

    // The first number after key in text, or -1.
    static long numberAfter(const std::string& text, const std::string& key) {
        size_t at = text.find(key);
        if (at == std::string::npos)
            return -1;
        return std::strtol(text.c_str() + at + key.size(), nullptr, 10);
    }

    // The null sink's state, as the server reports it.
    static long sinkVolume(const std::string& sink = "nullsink") {
        return numberAfter(shell("pactl get-sink-volume " + sink + " 2>&1"), "front-left:");
    }
    static bool sinkMuted(const std::string& sink = "nullsink") {
        return shell("pactl get-sink-mute " + sink + " 2>&1").find("yes") != std::string::npos;
    }

    // Polls until done() holds or the timeout passes.
    static bool waitFor(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        auto end = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

private:
    static std::string script(const std::string& name) {
        const char* src = std::getenv("BRENNET_SOURCE_DIR");
        return std::string(src != nullptr ? src : ".") + "/scripts/" + name;
    }

    static PulseServer*& current() {
        static PulseServer* server = nullptr;
        return server;
    }

    // On a crash or an interrupt the destructor never runs: end the server processes from the
    // signal handler (kill is safe there), then die of the same signal.
    static void installCrashCleanup() {
        for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGINT, SIGTERM}) {
            struct sigaction sa {};
            sa.sa_handler = [](int s) {
                if (PulseServer* p = current()) {
                    for (pid_t pid : p->pids_)
                        if (pid > 0)
                            kill(pid, SIGTERM);
                }
                signal(s, SIG_DFL);
                raise(s);
            };
            sa.sa_flags = SA_RESETHAND;
            sigaction(sig, &sa, nullptr);
        }
    }

    std::string dir_;
    bool sine_;
    bool running_ = false;
    // The pid files of both kinds of server, the stream that keeps the null sink awake first.
    static constexpr std::array<const char*, 5> kPidFiles = {
        "keeper.pid", "server.pid", "pipewire-pulse.pid", "wireplumber.pid", "pipewire.pid"};
    std::array<pid_t, kPidFiles.size()> pids_{};
};
