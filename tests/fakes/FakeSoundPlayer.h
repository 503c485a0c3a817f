#pragma once
// Records the sounds the code under test starts, instead of playing them.

#include "SoundPlayer.h"

#include "FakeMixer.h"  // nextFakeCallSequence()

#include <cstdint>
#include <string>
#include <vector>

class FakeSoundPlayer : public SoundPlayer {
public:
    void playAsync(const std::string& path) override {
        played.push_back(path);
        sequences.push_back(nextFakeCallSequence());
    }
    int count() const { return static_cast<int>(played.size()); }
    void clear() {
        played.clear();
        sequences.clear();
    }

    std::vector<std::string> played;  // the files, in order
    std::vector<uint64_t> sequences;  // when each was started, see nextFakeCallSequence()
};
