#pragma once
// The engine Brennet uses: the native sound-server client where a server answers, ALSA where
// none does. A server that appears later (a late start, a restart) takes over from ALSA as soon
// as the native engine reaches it, and the lines, ranges and values follow. forced ("pulse" or
// "alsa", from BRENNET_MIXER) pins one engine; any other text leaves the choice automatic.
//
// Construction:  EngineChooser engine(pulse, alsa, "");   (both engines outlive the chooser)
//
// It reports, one line each time, when no sound system answers, when the one in use is lost and
// when one is found again; report receives the line (standard error by default).
//
// Changes: the news of both engines is passed on (on their notifier threads), so a switch of
// the engine in use is told by the engine that came or went.

#include "MixerEngine.h"

#include <functional>
#include <string>

class EngineChooser : public MixerEngine {
public:
    using Report = std::function<void(const char* line)>;

    EngineChooser(MixerEngine& native, MixerEngine& alsa, const std::string& forced,
                  Report report = {});
    ~EngineChooser() override;
    EngineChooser(const EngineChooser&) = delete;
    EngineChooser& operator=(const EngineChooser&) = delete;

    // Whether forced names an engine; false for an unknown name (the choice stays automatic).
    static bool knows(const std::string& forced);

    bool connect() override;
    bool connectNoWait() override;
    bool connected() const override;
    bool hasLine(Line line) const override;
    bool hasVolume(Line line) const override;
    bool hasSwitch(Line line) const override;
    bool hasPeak(Line line) const override;
    std::string lineName(Line line) const override;
    int channels(Line line) const override;
    Range volumeRange(Line line) const override;
    Status volume(Line line, long* value) override;
    Status setVolume(Line line, long value) override;
    Status muted(Line line, bool* value) override;
    Status setMuted(Line line, bool value) override;
    Status peak(Line line, int32_t* value) override;
    std::vector<Output> outputs() const override;
    bool canChooseOutput() const override;
    Status chooseOutput(const std::string& name) override;

private:
    enum class Mode { Automatic, Native, Alsa };

    enum class Reach { Unknown, None, Native, Alsa };

    bool connectEngines(bool wait);

    MixerEngine& active() const;
    void reportReach(Reach now);

    MixerEngine& native_;
    MixerEngine& alsa_;
    Mode mode_;
    Report report_;
    Reach reach_ = Reach::Unknown;
};
