#include "EngineChooser.h"

#include <cstdio>

EngineChooser::EngineChooser(MixerEngine& native, MixerEngine& alsa, const std::string& forced,
                             Report report)
    : native_(native),
      alsa_(alsa),
      mode_(forced == "pulse"  ? Mode::Native
            : forced == "alsa" ? Mode::Alsa
                               : Mode::Automatic),
      report_(report ? std::move(report) : [](const char* line) { std::fputs(line, stderr); }) {
    // The engines tell from their own notifier threads, where no lock is held: pass it on.
    native_.setChangeHandler([this] { forwardChanged(); });
    alsa_.setChangeHandler([this] { forwardChanged(); });
}

// The handlers refer to this chooser, and the engines may outlive it (and go on telling).
EngineChooser::~EngineChooser() {
    native_.setChangeHandler({});
    alsa_.setChangeHandler({});
    stopNotifying();
}

bool EngineChooser::knows(const std::string& forced) {
    return forced == "pulse" || forced == "alsa";
}

// The native engine whenever it is connected; ALSA only while no server answers.
MixerEngine& EngineChooser::active() const {
    switch (mode_) {
        case Mode::Native:
            return native_;
        case Mode::Alsa:
            return alsa_;
        case Mode::Automatic:
        default:
            return native_.connected() || !alsa_.connected() ? native_ : alsa_;
    }
}

bool EngineChooser::connect() {
    return connectEngines(true);
}

bool EngineChooser::connectNoWait() {
    return connectEngines(false);
}

bool EngineChooser::connectEngines(bool wait) {
    const auto reach = [wait](MixerEngine& engine) {
        return wait ? engine.connect() : engine.connectNoWait();
    };
    bool ok = false;
    switch (mode_) {
        case Mode::Native:
            ok = reach(native_);
            break;
        case Mode::Alsa:
            ok = reach(alsa_);
            break;
        case Mode::Automatic:
        default:
            // ALSA is not even opened while a server answers: it would reach the same server
            // through its plugin, or complain about a card that is not there.
            ok = reach(native_) || reach(alsa_);
            break;
    }
    reportReach(!ok ? Reach::None : &active() == &native_ ? Reach::Native : Reach::Alsa);
    return ok;
}

// One line per change of what answers; nothing while it stays the same.
void EngineChooser::reportReach(Reach now) {
    if (now == reach_)
        return;
    const Reach before = reach_;
    reach_ = now;
    if (now == Reach::None) {
        report_(before == Reach::Unknown
                    ? "Brennet: no sound server answers and no sound card is there; waiting\n"
                    : "Brennet: lost the sound system; waiting for it to come back\n");
    } else if (now == Reach::Native) {
        if (before != Reach::Unknown)
            report_("Brennet: the sound server answers again\n");
    } else if (mode_ == Mode::Automatic) {
        report_("Brennet: no sound server answers; using the sound card through ALSA\n");
    } else if (before != Reach::Unknown) {
        report_("Brennet: the sound card answers again\n");
    }
}

bool EngineChooser::connected() const {
    return active().connected();
}

bool EngineChooser::hasLine(Line line) const {
    return active().hasLine(line);
}

bool EngineChooser::hasVolume(Line line) const {
    return active().hasVolume(line);
}

bool EngineChooser::hasSwitch(Line line) const {
    return active().hasSwitch(line);
}

bool EngineChooser::hasPeak(Line line) const {
    return active().hasPeak(line);
}

std::string EngineChooser::lineName(Line line) const {
    return active().lineName(line);
}

int EngineChooser::channels(Line line) const {
    return active().channels(line);
}

MixerEngine::Range EngineChooser::volumeRange(Line line) const {
    return active().volumeRange(line);
}

MixerEngine::Status EngineChooser::volume(Line line, long* value) {
    return active().volume(line, value);
}

MixerEngine::Status EngineChooser::setVolume(Line line, long value) {
    return active().setVolume(line, value);
}

MixerEngine::Status EngineChooser::muted(Line line, bool* value) {
    return active().muted(line, value);
}

MixerEngine::Status EngineChooser::setMuted(Line line, bool value) {
    return active().setMuted(line, value);
}

MixerEngine::Status EngineChooser::peak(Line line, int32_t* value) {
    return active().peak(line, value);
}

std::vector<MixerEngine::Output> EngineChooser::outputs() const {
    return active().outputs();
}

bool EngineChooser::canChooseOutput() const {
    return active().canChooseOutput();
}

MixerEngine::Status EngineChooser::chooseOutput(const std::string& name) {
    return active().chooseOutput(name);
}
