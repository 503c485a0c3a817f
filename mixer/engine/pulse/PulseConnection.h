#pragma once
// One connection to the sound server over libpulse, on a pa_threaded_mainloop of its own: it
// connects (never spawning a server), tells its owner when the context is ready and when it is
// lost, and reconnects on its own after a loss with a timer (250 ms, doubling up to 2 s). It
// prints nothing: the engine's user reports what answers and what was lost.
//
// The owner (PulseEngine) gets two calls, both on the loop's thread with the loop locked:
//   ready(context)  the context is READY: subscribe and ask for the initial state, then call
//                   synced() once that state is in; only then does connected() turn true.
//   lost()          the context failed or the server went away; the context is no longer usable.
// Everything else of the owner that touches the context or its own state holds a Lock.

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <functional>

class PulseConnection {
public:
    PulseConnection(std::function<void(pa_context*)> ready, std::function<void()> lost);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Holds the loop's lock, except on the loop's own thread, which holds it already while it
    // runs a callback (and must not take it again).
    class Lock {
    public:
        explicit Lock(const PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        bool onLoopThread() const { return !held_; }

    private:
        pa_threaded_mainloop* loop_;
        bool held_;
    };

    // Starts an attempt when none runs (at most one every 250 ms; the first one at once) and
    // waits for it: up to 1 s on the first attempt, 100 ms on later ones, never on the loop's
    // thread; with wait false, not at all. True when connected now. Call with or without a Lock.
    bool connect(bool wait = true);
    // True from synced() until the connection is lost. Under a Lock.
    bool connected() const { return state_ == State::Synced; }
    // The context, while it is ready or synced; else nullptr. Under a Lock.
    pa_context* context() const;
    // The owner has the initial state: the connection counts as connected. On the loop's thread.
    void synced();

private:
    using Clock = std::chrono::steady_clock;
    enum class State { Idle, Connecting, Ready, Synced, Lost };

    void startAttempt();
    void dropContext();
    void failed();
    void scheduleRetry();
    static void contextStateChanged(pa_context* c, void* userdata);
    static void retryTimer(pa_mainloop_api* api, pa_time_event* e, const struct timeval* tv,
                           void* userdata);

    std::function<void(pa_context*)> ready_;
    std::function<void()> lost_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_time_event* retry_ = nullptr;
    State state_ = State::Idle;
    Clock::time_point lastAttempt_{};
    std::chrono::milliseconds backoff_{250};
    bool attempted_ = false;
};
