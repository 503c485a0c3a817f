#pragma once
// The sound devices around the master line, as the tray's menu offers them: the outputs to pick
// the master from, and the mute of the default input (the microphone).
//
// Calls return at once: a choice or a mute is a request, and the device's report of it arrives
// later through the mixer's change notification.

#include <string>
#include <vector>

class DeviceService {
public:
    struct Output {
        std::string id;           // what chooseOutput takes
        std::string description;  // what the menu shows
        bool current = false;     // the master line's output now
    };

    virtual ~DeviceService() = default;

    // The outputs a user picks from, in the sound system's order; empty when none answers.
    virtual std::vector<Output> outputs() const = 0;
    // False where there is one card and nothing else to choose.
    virtual bool canChooseOutput() const = 0;
    // Makes the output the master line's and moves the streams that play to it.
    virtual void chooseOutput(const std::string& id) = 0;

    virtual bool hasMicrophone() const = 0;
    virtual bool microphoneMuted() const = 0;
    virtual void setMicrophoneMuted(bool muted) = 0;
};
