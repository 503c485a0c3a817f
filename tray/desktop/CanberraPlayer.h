#pragma once
// The click sound over libcanberra: plays a file through the desktop's sound server and falls
// back to the sound theme's "bell" event when the file cannot be played.
//
// libcanberra waits for the sound server inside its calls, and a server that hangs (stopped,
// swapping, busy) would hang the caller with it. So every libcanberra call runs on one worker
// thread of the player's own, and playAsync() only hands the path over: at most one sound waits
// for the worker (a newer one replaces it), a sound the worker gets to late is dropped rather than
// played behind the step it belongs to, and a new sound cuts off the one still playing. When the
// server went away and came back, the worker makes a new context and plays again.

#include "SoundPlayer.h"

#include <memory>

class CanberraPlayer : public SoundPlayer {
public:
    CanberraPlayer();
    // Cuts off a sound still playing. Waits a moment for the worker; a worker stuck on a server
    // that does not answer is left behind rather than holding up the end of the program.
    ~CanberraPlayer() override;
    CanberraPlayer(const CanberraPlayer&) = delete;
    CanberraPlayer& operator=(const CanberraPlayer&) = delete;

    void playAsync(const std::string& path) override;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};
