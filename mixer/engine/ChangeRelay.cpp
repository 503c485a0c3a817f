#include "ChangeRelay.h"

ChangeRelay::ChangeRelay(std::function<void()> deliver) : deliver_(std::move(deliver)) {}

ChangeRelay::~ChangeRelay() {
    stop();
}

void ChangeRelay::post() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_)
        return;
    pending_ = true;
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
    wake_.notify_one();
}

void ChangeRelay::stop() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        thread.swap(thread_);
        wake_.notify_one();
    }
    if (thread.joinable())
        thread.join();
}

void ChangeRelay::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return pending_ || stopped_; });
        if (stopped_)
            return;
        pending_ = false;
        lock.unlock();
        deliver_();
        lock.lock();
    }
}
