#pragma once
// An in-memory sound system for tests of the mixer service.
//
//     FakeEngine engine;
//     engine.add(FakeEngine::Line::Speakers, {0, 65536});  // a line with volume and switch
//     engine.lines[Line::Speakers].volume = 32768;           // what the "server" holds now
//     engine.reachable = false;                              // the server went away
//
// A line that was not added does not exist. failWrites makes every write fail with Failed.

#include "MixerEngine.h"

#include <map>
#include <string>

class FakeEngine : public MixerEngine {
public:
    struct State {
        Range range;
        long volume = 0;
        bool muted = false;
        bool hasVolume = true;
        bool hasSwitch = true;
        bool hasPeak = false;
        int32_t peak = 0;
        int channels = 2;
    };

    void add(Line line, Range range) { lines[line].range = range; }

    bool connect() override {
        ++connects;
        return reachable;
    }
    bool connected() const override { return reachable; }
    bool hasLine(Line line) const override { return find(line) != nullptr; }
    bool hasVolume(Line line) const override { return find(line) && find(line)->hasVolume; }
    bool hasSwitch(Line line) const override { return find(line) && find(line)->hasSwitch; }
    bool hasPeak(Line line) const override { return find(line) && find(line)->hasPeak; }
    std::string lineName(Line line) const override {
        return "fake " + std::to_string(static_cast<int>(line));
    }
    int channels(Line line) const override { return find(line) ? find(line)->channels : 1; }
    Range volumeRange(Line line) const override { return find(line) ? find(line)->range : Range{}; }

    Status volume(Line line, long* value) override {
        return access(line, [&](State& s) { *value = s.volume; });
    }
    Status setVolume(Line line, long value) override {
        return write(line, [&](State& s) { s.volume = value; });
    }
    Status muted(Line line, bool* value) override {
        return access(line, [&](State& s) { *value = s.muted; });
    }
    Status setMuted(Line line, bool value) override {
        return write(line, [&](State& s) { s.muted = value; });
    }
    Status peak(Line line, int32_t* value) override {
        return access(line, [&](State& s) { *value = s.peak; });
    }

    std::map<Line, State> lines;
    bool reachable = true;
    bool failWrites = false;
    int connects = 0;
    int writes = 0;

private:
    const State* find(Line line) const {
        auto it = lines.find(line);
        return it == lines.end() ? nullptr : &it->second;
    }
    template <typename Op>
    Status access(Line line, Op op) {
        if (!reachable)
            return Status::Unreachable;
        auto it = lines.find(line);
        if (it == lines.end())
            return Status::Missing;
        op(it->second);
        return Status::Ok;
    }
    template <typename Op>
    Status write(Line line, Op op) {
        if (failWrites && reachable)
            return Status::Failed;
        const Status status = access(line, op);
        writes += status == Status::Ok ? 1 : 0;
        return status;
    }
};
