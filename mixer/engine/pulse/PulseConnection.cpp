#include "PulseConnection.h"

#include <pulse/subscribe.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <new>

namespace {

using namespace std::chrono_literals;

constexpr auto kMinAttemptGap = 250ms;  // on-demand attempts, and the first retry after a loss
constexpr auto kMaxBackoff = 2000ms;
constexpr auto kFirstWait = 1000ms;  // the first connect may wait this long for the server
constexpr auto kLaterWait = 100ms;   // later ones less: a click must stay quick

// A wait's deadline, set by a time event on the loop.
struct Deadline {
    pa_threaded_mainloop* loop;
    bool expired;
};

struct timeval after(std::chrono::milliseconds delay) {
    struct timeval tv;
    pa_gettimeofday(&tv);
    pa_timeval_add(&tv, static_cast<pa_usec_t>(delay.count()) * PA_USEC_PER_MSEC);
    return tv;
}

void deadlineReached(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* deadline = static_cast<Deadline*>(userdata);
    deadline->expired = true;
    pa_threaded_mainloop_signal(deadline->loop, 0);
}

}  // namespace

PulseConnection::Lock::Lock(const PulseConnection& connection)
    : loop_(connection.loop_), held_(pa_threaded_mainloop_in_thread(loop_) == 0) {
    if (held_)
        pa_threaded_mainloop_lock(loop_);
}

PulseConnection::Lock::~Lock() {
    if (held_)
        pa_threaded_mainloop_unlock(loop_);
}

PulseConnection::PulseConnection(std::function<void(pa_context*)> ready, std::function<void()> lost)
    : ready_(std::move(ready)), lost_(std::move(lost)), loop_(pa_threaded_mainloop_new()) {
    if (loop_ == nullptr)
        throw std::bad_alloc();
    pa_threaded_mainloop_set_name(loop_, "brennet-pulse");
    if (pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        throw std::bad_alloc();
    }
}

PulseConnection::~PulseConnection() {
    // Once the loop's thread has ended, nothing runs callbacks any more and the objects can go.
    pa_threaded_mainloop_stop(loop_);
    if (retry_ != nullptr)
        pa_threaded_mainloop_get_api(loop_)->time_free(retry_);
    dropContext();
    pa_threaded_mainloop_free(loop_);
}

bool PulseConnection::connect(bool wait) {
    Lock lock(*this);
    if (state_ == State::Synced)
        return true;
    // On the loop's own thread (a change handler that asks) nothing is started or waited for:
    // it may run inside a callback of the very context a new attempt would replace, and it
    // cannot wait for itself. The retry timer goes on in the background.
    if (lock.onLoopThread())
        return false;
    const bool first = !attempted_;
    if (state_ == State::Idle || state_ == State::Lost) {
        if (!first && Clock::now() - lastAttempt_ < kMinAttemptGap)
            return false;
        startAttempt();
    }
    if (!wait)
        return false;

    Deadline deadline{loop_, false};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    struct timeval tv = after(first ? kFirstWait : kLaterWait);
    pa_time_event* timer = api->time_new(api, &tv, deadlineReached, &deadline);
    while (state_ != State::Synced && state_ != State::Lost && !deadline.expired)
        pa_threaded_mainloop_wait(loop_);
    api->time_free(timer);
    return state_ == State::Synced;
}

pa_context* PulseConnection::context() const {
    return state_ == State::Ready || state_ == State::Synced ? context_ : nullptr;
}

void PulseConnection::synced() {
    if (state_ != State::Ready)
        return;
    state_ = State::Synced;
    backoff_ = kMinAttemptGap;
    pa_threaded_mainloop_signal(loop_, 0);
}

void PulseConnection::startAttempt() {
    dropContext();
    attempted_ = true;
    lastAttempt_ = Clock::now();
    state_ = State::Connecting;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Brennet");
    if (context_ == nullptr) {
        failed();
        return;
    }
    pa_context_set_state_callback(context_, contextStateChanged, this);
    // A failure here has usually gone through the state callback already; failed() is idempotent.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        failed();
}

// Never called from a callback of the context itself: a context is only replaced by the next
// attempt (a caller's connect or the retry timer) or at the end.
void PulseConnection::dropContext() {
    if (context_ == nullptr)
        return;
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_set_subscribe_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    context_ = nullptr;
}

void PulseConnection::failed() {
    if (state_ == State::Lost)
        return;
    const bool wasUp = state_ == State::Ready || state_ == State::Synced;
    state_ = State::Lost;
    if (wasUp)
        lost_();
    scheduleRetry();
    pa_threaded_mainloop_signal(loop_, 0);
}

void PulseConnection::scheduleRetry() {
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    struct timeval tv = after(backoff_);
    if (retry_ != nullptr)
        api->time_restart(retry_, &tv);
    else
        retry_ = api->time_new(api, &tv, retryTimer, this);
    backoff_ = std::min(backoff_ * 2, kMaxBackoff);
}

void PulseConnection::contextStateChanged(pa_context* c, void* userdata) {
    auto* self = static_cast<PulseConnection*>(userdata);
    switch (pa_context_get_state(c)) {
        case PA_CONTEXT_READY:
            self->state_ = State::Ready;
            self->ready_(c);
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            self->failed();
            break;
        default:
            break;
    }
}

void PulseConnection::retryTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                 void* userdata) {
    auto* self = static_cast<PulseConnection*>(userdata);
    // An on-demand attempt may have run meanwhile; only a connection still lost is retried.
    if (self->state_ == State::Lost)
        self->startAttempt();
}
