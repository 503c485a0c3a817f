#pragma once
// An in-memory sound system for tests of the mixer service.
//
//     FakeEngine engine;
//     engine.add(FakeEngine::Line::Speakers, {0, 65536});  // a line with volume and switch
//     engine.lines[Line::Speakers].volume = 32768;           // what the "server" holds now
//     engine.reachable = false;                              // the server went away
//
// A line that was not added does not exist. failWrites makes every write fail with Failed.
// Each line counts the accesses to its volume and its switch. outside() is another program's
// change: made under the engine's lock and told as the contract says, so it may come from any
// thread while the value calls run on others.

#include "MixerEngine.h"

#include <map>
#include <mutex>
#include <string>

class FakeEngine : public MixerEngine {
public:
    struct State {
        Range range;
        long volume = 0;
        bool muted = false;
        bool hasSwitch = true;
        bool hasPeak = false;
        int32_t peak = 0;
        int volumeReads = 0, volumeWrites = 0, muteReads = 0, muteWrites = 0;
        void clearCounts() { volumeReads = volumeWrites = muteReads = muteWrites = 0; }
    };

    ~FakeEngine() override { stopNotifying(); }

    void add(Line line, Range range) { lines[line].range = range; }
    void outside(Line line, long volume) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines[line].volume = volume;
        notifyChanged();  // under the lock, as a real engine may: it only posts
    }

    bool connect() override {
        ++connects;
        return reachable;
    }
    bool connectNoWait() override { return reachable; }
    bool connected() const override { return reachable; }
    bool hasLine(Line line) const override { return find(line) != nullptr; }
    bool hasVolume(Line line) const override { return find(line) != nullptr; }
    bool hasSwitch(Line line) const override { return find(line) && find(line)->hasSwitch; }
    bool hasPeak(Line line) const override { return find(line) && find(line)->hasPeak; }
    std::string lineName(Line line) const override {
        return "fake " + std::to_string(static_cast<int>(line));
    }
    int channels(Line) const override { return 2; }
    Range volumeRange(Line line) const override { return find(line) ? find(line)->range : Range{}; }

    Status volume(Line line, long* value) override {
        return access(line, false, [&](State& s) {
            *value = s.volume;
            ++s.volumeReads;
        });
    }
    Status setVolume(Line line, long value) override {
        return access(line, true, [&](State& s) {
            s.volume = value;
            ++s.volumeWrites;
        });
    }
    Status muted(Line line, bool* value) override {
        return access(line, false, [&](State& s) {
            *value = s.muted;
            ++s.muteReads;
        });
    }
    Status setMuted(Line line, bool value) override {
        return access(line, true, [&](State& s) {
            s.muted = value;
            ++s.muteWrites;
        });
    }
    Status peak(Line line, int32_t* value) override {
        return access(line, false, [&](State& s) { *value = s.peak; });
    }

    std::map<Line, State> lines;
    bool reachable = true;
    bool failWrites = false;
    int connects = 0;

private:
    std::mutex mutex_;
    const State* find(Line line) const {
        auto it = lines.find(line);
        return it == lines.end() ? nullptr : &it->second;
    }
    template <typename Op>
    Status access(Line line, bool write, Op op) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!reachable)
            return Status::Unreachable;
        if (write && failWrites)
            return Status::Failed;
        auto it = lines.find(line);
        if (it == lines.end())
            return Status::Missing;
        op(it->second);
        return Status::Ok;
    }
};
