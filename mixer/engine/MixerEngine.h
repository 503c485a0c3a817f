#pragma once
// One sound system as the mixer service sees it: which lines it has, each line's volume range,
// and the volume and switch of each line. The mixer service (EngineMixer) turns this into the
// mixer records, identifiers and result codes; an engine knows nothing of them.
//
// Every call may come from any thread; an engine serialises them itself. A call on a line or
// control the engine lacks returns Status::Missing; while the sound system is unreachable, calls
// return Status::Unreachable, and the engine reconnects on its own (without spinning), so a later
// call works again. Volumes are raw numbers in the line's range; mute is true when the line is
// silenced (an ALSA switch that is off, a PulseAudio sink that is muted). A volume read may lie
// above the range where the sound system allows that (a sink amplified past 100 %).

#include "ChangeRelay.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class MixerEngine {
public:
    enum class Line {
        Speakers,  // the master output: the default sink, or the card's master element
        Microphone,
        LineIn,
        CompactDisc,
        Synthesizer,
        WaveOut,
        WaveIn,  // the recording destination: the default source, or the capture element
    };
    static constexpr int LineCount = 7;

    enum class Status {
        Ok,
        Missing,      // no such line or control
        Unreachable,  // the sound system is not there (now)
        Failed,       // it is there but refused the request
    };

    struct Range {
        long min = 0;
        long max = 0;
    };

    // An output a user can pick: the sound system's name for it, the description it shows, and
    // whether it is the default output (the speakers line) now.
    struct Output {
        std::string name;
        std::string description;
        bool isDefault = false;
    };

    virtual ~MixerEngine() = default;

    // Connects when not connected yet (attempts paced by the engine); true when connected now.
    virtual bool connect() = 0;
    // As connect(), but never waits for an attempt to finish: it starts one when due and answers
    // at once from what the engine knows. For every call after the mixer was opened, so a server
    // that hangs never holds up the caller.
    virtual bool connectNoWait() { return connect(); }
    virtual bool connected() const = 0;

    virtual bool hasLine(Line line) const = 0;
    virtual bool hasVolume(Line line) const = 0;
    virtual bool hasSwitch(Line line) const = 0;
    virtual bool hasPeak(Line line) const = 0;
    // The line's name as the sound system shows it, and its channel count (1 or 2).
    virtual std::string lineName(Line line) const = 0;
    virtual int channels(Line line) const = 0;
    virtual Range volumeRange(Line line) const = 0;

    // Reads give the value the sound system holds now, never a remembered one.
    virtual Status volume(Line line, long* value) = 0;
    // value is within the line's range (the caller clamps).
    virtual Status setVolume(Line line, long value) = 0;
    virtual Status muted(Line line, bool* value) = 0;
    virtual Status setMuted(Line line, bool value) = 0;
    // The latest peak of the line's signal, -32768..32767.
    virtual Status peak(Line line, int32_t* value) = 0;

    // The outputs a user can pick from, in the sound system's order; empty while unreachable.
    virtual std::vector<Output> outputs() const { return {}; }
    // Whether another output can be chosen at all (a sound server: yes; one card: no).
    virtual bool canChooseOutput() const { return false; }
    // Makes the named output the default and moves the streams that play to it. Returns once
    // the request is sent; the change is told when the sound system has made it.
    virtual Status chooseOutput(const std::string& /*name*/) { return Status::Missing; }

    // --- Changes --------------------------------------------------------------------------
    // The handler is told after anything a reader could see has changed: a line's volume or
    // mute (whoever changed it: this program, another one, a volume key), the lines present or
    // the device behind a line (a default output switched, a device plugged or removed), the
    // connection (lost, found again), or the engine in use (the chooser).
    //
    // The contract every engine keeps:
    //   - The handler runs on the engine's notifier thread, never on a caller's stack and never
    //     while the engine holds a lock of its own; it may read the engine back and then sees
    //     the new state (the engine changes its state before it tells).
    //   - Changes that come while a call is pending or running are merged: one call may stand
    //     for many changes, and it says only that something changed. The handler should be
    //     quick (hand the news on to the thread that acts on it).
    //   - Nothing runs while nothing changes: no timer, no polling.
    //   - setChangeHandler() may be called at any time from any thread but the handler's own;
    //     when it returns, the old handler is not running and will not run again. An owner whose
    //     handler refers to itself sets an empty handler before it goes.
    void setChangeHandler(std::function<void()> handler) {
        std::lock_guard<std::mutex> lock(handlerMutex_);
        changed_ = std::move(handler);
    }

protected:
    // Tells the handler later, on the notifier thread. It only posts, so it is safe with the
    // engine's own lock held.
    void notifyChanged() const { relay_.post(); }
    // Calls the handler now, on the caller's thread: for an engine that holds no lock of its
    // own and passes on the news of the engines under it (the chooser).
    void forwardChanged() const {
        std::lock_guard<std::mutex> lock(handlerMutex_);
        if (changed_)
            changed_();
    }
    // Ends the notifier thread after the call in progress. An engine calls it first in its
    // destructor, so no call reads an engine that is half gone.
    void stopNotifying() { relay_.stop(); }

private:
    mutable std::mutex handlerMutex_;  // held while the handler runs and while it is replaced
    std::function<void()> changed_;
    mutable ChangeRelay relay_{[this] { forwardChanged(); }};
};
