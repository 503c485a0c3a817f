#pragma once
// A private sound server for one test process: PulseAudio (scripts/pulse-start, pulse-stop) or,
// when the environment has BRENNET_TEST_SERVER=pipewire, PipeWire with pipewire-pulse
// (scripts/pipewire-start, pipewire-stop); both offer the same null sink "nullsink". Constructing
// it points this process's environment at the server (before ALSA is used), so ALSA's "default",
// pactl and amixer all reach it. A server that does not start throws, with the script's output,
// which fails the test. The destructor stops it and removes its folder; a crash signal still
// ends the server processes.

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

class PulseServer {
public:
    // Delegating, so that the destructor cleans up also when start() throws.
    explicit PulseServer(bool sineSource = false) : PulseServer(sineSource, 0) { start(); }

    ~PulseServer() {
        stop();
        shell("rm -rf '" + dir_ + "'");
    }

    void start() {
        const std::string out = dir_ + "/start.out";
        if (std::system((script("start") + (sine_ ? " --sine-source" : "") + " >'" + out + "' 2>&1")
                            .c_str()) != 0)
            throw std::runtime_error("the test server did not start:\n" +
                                     shell("cat '" + out + "'"));
        for (size_t i = 0; i < pids_.size(); ++i)
            std::ifstream(dir_ + "/" + kPidFiles[i]) >> pids_[i];
    }

    void restart() {
        stop();
        start();
    }

    void stop() {
        signalServer(SIGCONT);
        std::system((script("stop") + " >/dev/null 2>&1").c_str());
        // Reaps the server processes, ours once orphaned (the subreaper below).
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        pids_ = {};
    }

    static bool pipewire() { return env("BRENNET_TEST_SERVER") == "pipewire"; }

    // Sends the server a signal: SIGKILL ends it as a crash would, SIGSTOP hangs it (SIGCONT
    // lets it go on). stop() still cleans up after either. With PipeWire the server is
    // pipewire-pulse, the process that speaks to the clients.
    void signalServer(int sig) {
        for (pid_t pid : {pids_[1], pids_[2]})
            if (pid > 0)
                ::kill(pid, sig);
    }

    // Runs pactl; its output, messages included.
    static std::string pactl(const std::string& args) { return shell("pactl " + args + " 2>&1"); }

    // A device's volume, as the server reports it for one channel: kind is "sink" or "source".
    static long volume(const std::string& kind = "sink", const std::string& name = "nullsink",
                       const std::string& channel = "front-left:") {
        std::string out = pactl("get-" + kind + "-volume " + name);
        size_t at = out.find(channel);
        return at == std::string::npos ? -1 : std::strtol(&out[at + channel.size()], nullptr, 10);
    }
    static bool muted(const std::string& kind = "sink", const std::string& name = "nullsink") {
        return pactl("get-" + kind + "-mute " + name).find("yes") != std::string::npos;
    }

    // Polls until done() holds or the timeout passes.
    static bool waitFor(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return done();
    }

private:
    PulseServer(bool sineSource, int) : sine_(sineSource) {
        // Orphaned server processes become our children, so we can reap them when they end.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        char tmpl[] = "/tmp/brennet-pulse-XXXXXX";
        if (mkdtemp(tmpl) == nullptr)
            throw std::runtime_error("no folder for the test server");
        dir_ = tmpl;
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + dir_ + "/pulse/native").c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
        setenv("HOME", (dir_ + "/home").c_str(), 1);
        unsetenv("PULSE_SINK");
        unsetenv("PULSE_SOURCE");
        // On a crash or an interrupt the destructor never runs: end the server processes from
        // the signal handler (kill is safe there), then die of the same signal.
        for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGINT, SIGTERM})
            signal(sig, [](int s) {
                for (pid_t pid : pids_)
                    if (pid > 0)
                        kill(pid, SIGTERM);
                signal(s, SIG_DFL);
                raise(s);
            });
    }

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
    static std::string env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }
    std::string script(const std::string& what) const {
        const std::string src = env("BRENNET_SOURCE_DIR");
        return (src.empty() ? "." : src) + "/scripts/" + (pipewire() ? "pipewire-" : "pulse-") +
               what + " '" + dir_ + "'";
    }

    std::string dir_;
    bool sine_;
    // The pid files of both kinds of server, the stream that keeps the null sink awake first.
    static constexpr std::array<const char*, 5> kPidFiles = {
        "keeper.pid", "server.pid", "pipewire-pulse.pid", "wireplumber.pid", "pipewire.pid"};
    // Static, for the crash handler; the environment allows only one server at a time anyway.
    inline static std::array<pid_t, kPidFiles.size()> pids_{};
};
