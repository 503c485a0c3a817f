#include "CanberraPlayer.h"

#include <canberra.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Every click plays under the same id, so a new one can cut off the one still playing.
constexpr uint32_t kClickId = 1;
// A click sound that could not start within this time is stale: its step was long heard of.
constexpr auto kStaleAfter = 400ms;
// How long the end of the program waits for the worker to let go of the sound server.
constexpr auto kEndWait = 300ms;

struct Request {
    std::string path;
    Clock::time_point asked;
};

// Errors that say the file is not a playable sound (as opposed to a server that went away).
bool fileFault(int result) {
    return result == CA_ERROR_NOTFOUND || result == CA_ERROR_CORRUPT ||
           result == CA_ERROR_NOTSUPPORTED || result == CA_ERROR_ACCESS ||
           result == CA_ERROR_TOOBIG || result == CA_ERROR_INVALID;
}

}  // namespace

struct CanberraPlayer::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::optional<Request> pending;
    bool ending = false;
    bool ended = false;
    ca_context* context = nullptr;  // the worker's alone

    void run();
    void play(const std::string& path);
    int playFile(const std::string& path);
    bool makeContext();
    void dropContext();
};

void CanberraPlayer::Shared::run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return ending || pending.has_value(); });
        if (ending)
            break;
        const Request request = std::move(*pending);
        pending.reset();
        if (Clock::now() - request.asked > kStaleAfter)
            continue;
        lock.unlock();
        play(request.path);
        lock.lock();
    }
    lock.unlock();
    if (context != nullptr)
        ca_context_cancel(context, kClickId);
    dropContext();
    lock.lock();
    ended = true;
    wake.notify_all();
}

// The context connects to the sound server on the first sound, not at start: start-up stays fast
// and a program that never clicks never connects.
bool CanberraPlayer::Shared::makeContext() {
    if (context != nullptr)
        return true;
    if (ca_context_create(&context) != CA_SUCCESS) {
        context = nullptr;
        return false;
    }
    ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Brennet", CA_PROP_APPLICATION_ID,
                            "brennet", nullptr);
    return true;
}

void CanberraPlayer::Shared::dropContext() {
    if (context != nullptr)
        ca_context_destroy(context);
    context = nullptr;
}

int CanberraPlayer::Shared::playFile(const std::string& path) {
    if (!makeContext())
        return CA_ERROR_NODRIVER;
    ca_context_cancel(context, kClickId);
    return ca_context_play(context, kClickId, CA_PROP_MEDIA_FILENAME, path.c_str(),
                           CA_PROP_EVENT_DESCRIPTION, "Volume changed",
                           CA_PROP_CANBERRA_CACHE_CONTROL, "never", nullptr);
}

void CanberraPlayer::Shared::play(const std::string& path) {
    int result = playFile(path);
    if (result != CA_SUCCESS && result != CA_ERROR_DISABLED && !fileFault(result)) {
        // A context whose server went away stays broken; a new one reaches the server that is
        // there now (a restarted one).
        dropContext();
        result = playFile(path);
    }
    if (!fileFault(result) || context == nullptr)
        return;  // playing, event sounds turned off, or no sound system to play anything
    // Missing, unreadable or not a sound: the desktop's default sound instead.
    ca_context_play(context, kClickId, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION,
                    "Volume changed", nullptr);
}

CanberraPlayer::CanberraPlayer() : shared_(std::make_shared<Shared>()) {
    std::thread([shared = shared_] { shared->run(); }).detach();
}

CanberraPlayer::~CanberraPlayer() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->ending = true;
    shared_->pending.reset();
    shared_->wake.notify_all();
    // The worker holds its own reference to the shared state, so leaving it behind is safe.
    shared_->wake.wait_for(lock, kEndWait, [this] { return shared_->ended; });
}

void CanberraPlayer::playAsync(const std::string& path) {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->pending = Request{path, Clock::now()};
    shared_->wake.notify_all();
}
