#pragma once
// The click sound over libcanberra: plays a file through the desktop's sound server and falls
// back to the sound theme's "bell" event when the file cannot be played.

#include "SoundPlayer.h"

struct ca_context;

class CanberraPlayer : public SoundPlayer {
public:
    CanberraPlayer();
    ~CanberraPlayer() override;  // cuts off a sound still playing
    CanberraPlayer(const CanberraPlayer&) = delete;
    CanberraPlayer& operator=(const CanberraPlayer&) = delete;

    void playAsync(const std::string& path) override;

private:
    ca_context* context_ = nullptr;
};
