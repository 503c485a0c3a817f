#pragma once
// One sound system as the mixer service sees it: which lines it has, each line's volume range,
// and the volume and switch of each line. The mixer service (EngineMixer) turns this into the
// mixer records, identifiers and result codes; an engine knows nothing of them.
//
// Every call may come from any thread; an engine serialises them itself. A call on a line or
// control the engine lacks returns Status::Missing; while the sound system is unreachable, calls
// return Status::Unreachable, and the engine reconnects on its own (without spinning), so a later
// call works again. Volumes are raw numbers in the line's range; mute is true when the line is
// silenced (an ALSA switch that is off, a PulseAudio sink that is muted).

#include <cstdint>
#include <functional>
#include <string>

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

    // Called, from any thread, after a value, a line or the connection changed. Set it before
    // the first connect; an empty function is never called.
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }

protected:
    void notifyChanged() const {
        if (changed_)
            changed_();
    }

private:
    std::function<void()> changed_;
};
