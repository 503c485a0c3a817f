#pragma once
// Records the sounds the code under test starts, instead of playing them.

#include "SoundPlayer.h"

#include <string>
#include <vector>

class FakeSoundPlayer : public SoundPlayer {
public:
    void playAsync(const std::string& path) override { played.push_back(path); }
    std::vector<std::string> played;  // the files, in order
};
