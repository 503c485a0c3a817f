#pragma once
// Asynchronous playback of a click sound.

#include <string>

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts playing the file and returns at once. A new sound cuts off the one still playing;
    // a file that cannot be played gives the desktop's default sound instead.
    virtual void playAsync(const std::string& path) = 0;
};
