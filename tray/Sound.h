#pragma once
// The click sound: sndPlaySoundA over the desktop's sound player.

#include "SoundPlayer.h"

#include <cstdint>
#include <string>

constexpr uint32_t SND_SYNC = 0x0;
constexpr uint32_t SND_ASYNC = 0x1;
constexpr uint32_t SND_NODEFAULT = 0x2;

class Sound {
public:
    explicit Sound(SoundPlayer& player) : player_(player) {}
    int32_t sndPlaySoundA(const std::string& lpszSoundName, uint32_t uFlags);

private:
    SoundPlayer& player_;
};
