#pragma once
// Hands "something changed" from whatever thread noticed it to one thread of its own, which then
// calls the handler. post() only sets a flag and wakes that thread, so it may be called while
// the caller holds its own locks; posts that come while the handler runs or waits are merged
// into one more call. The thread starts with the first post and sleeps while nothing is posted
// (no timer, no polling).
//
//     ChangeRelay relay([&] { handler(); });
//     relay.post();   // from any thread, any lock held
//     relay.stop();   // waits for a call in progress; later posts are dropped

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class ChangeRelay {
public:
    explicit ChangeRelay(std::function<void()> deliver);
    ~ChangeRelay();
    ChangeRelay(const ChangeRelay&) = delete;
    ChangeRelay& operator=(const ChangeRelay&) = delete;

    void post();
    // Ends the thread after the call in progress, if any. Not from inside the handler.
    void stop();

private:
    void run();

    std::function<void()> deliver_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool stopped_ = false;
    std::thread thread_;
};
