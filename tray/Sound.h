#pragma once
// The click sound: sndPlaySoundA over the desktop's sound player. The program plays only
// asynchronously (SND_ASYNC) and lets a file that cannot be played give the default sound.

#include "SoundPlayer.h"

#include <cstdint>
#include <string>

constexpr uint32_t SND_ASYNC = 0x1;

class Sound {
public:
    explicit Sound(SoundPlayer& player) : player_(player) {}
    int32_t sndPlaySoundA(const std::string& lpszSoundName, uint32_t uFlags);

private:
    SoundPlayer& player_;
};
