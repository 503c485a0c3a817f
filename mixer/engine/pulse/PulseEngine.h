#pragma once
// The mixer engine over the sound server's native protocol (libpulse): PulseAudio, and PipeWire
// through pipewire-pulse.
//
// Construction:  AlsaWaveIn waveIn;  PulseEngine engine(&waveIn);
// The capture is optional: with it, the wave-in line offers the capture's peak (the capture
// records from the same server); PulseEngine engine; (no capture) offers no peak. The capture
// must outlive the engine.
//
// Lines: Speakers = the default sink, WaveIn = the default source, each following the server's
// default when it changes. Both range over 0..PA_VOLUME_NORM; a line's volume is the loudest of
// its channels (above the range when another program amplified the device past 100 %), and a
// write scales all channels so that the loudest gets the value (clamped to the range) and the
// balance stays. The other lines do not exist here.
//
// Outputs: the server's sinks (sources, monitors among them, are never outputs; nor is the
// "Dummy Output" a server makes while it has no output at all), kept current
// from the server's reports of sinks that come and go. Choosing one sets the default sink and
// moves every playing stream to it; both requests are sent without waiting.
//
// Volumes, mutes, names and channel counts are kept current from the server's change events, so
// a read costs no round trip. A write is one request sent without waiting for the reply; reads
// give the written value from then on. While a line has writes in flight, the server's reports
// on it are not taken (they may predate the write); once the last write is answered, the line is
// read afresh.
//
// While the server is unreachable, value calls return Unreachable; the line descriptions
// (hasLine, lineName, channels) stay as last seen. The connection recovers on its own (see
// PulseConnection) and on connect().
//
// Changes are told (see MixerEngine) after a report changed something, after a write was
// answered, and when the connection came or went. The loop's thread only posts them: the
// handler runs on the notifier thread, with the loop unlocked.

#include "MixerEngine.h"
#include "PulseConnection.h"

#include <pulse/introspect.h>
#include <pulse/volume.h>

#include <array>
#include <string>
#include <vector>

class AlsaWaveIn;

class PulseEngine : public MixerEngine {
public:
    explicit PulseEngine(const AlsaWaveIn* capture = nullptr);
    ~PulseEngine() override;
    PulseEngine(const PulseEngine&) = delete;
    PulseEngine& operator=(const PulseEngine&) = delete;

    bool connect() override;
    bool connectNoWait() override;
    bool connected() const override;

    bool hasLine(Line line) const override;
    bool hasVolume(Line line) const override { return hasLine(line); }
    bool hasSwitch(Line line) const override { return hasLine(line); }
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
    // What the engine knows of the device behind a line (the default sink or source).
    struct Device {
        PulseEngine* engine = nullptr;
        bool sink = true;
        bool present = false;
        std::string name;         // the server's name, used to address writes
        std::string description;  // shown as the line's name
        uint32_t index = PA_INVALID_INDEX;
        int channels = 0;
        pa_cvolume volume{};
        bool muted = false;
        int pendingWrites = 0;      // writes sent and not answered yet
        bool infoInFlight = false;  // an info request sent and not answered yet
        bool infoAgain = false;     // a change came in meanwhile: ask once more afterwards
    };

    // The device of an engine line, or nullptr for the lines this engine never has.
    Device* device(Line line);
    const Device* device(Line line) const;
    template <typename Op>
    Status withDevice(Line line, Op op);

    void contextReady(pa_context* c);
    void contextLost();
    void requestInfo(Device& d);
    void takeInfo(Device& d, const char* name, const char* description, uint32_t index,
                  const pa_channel_map& map, const pa_cvolume& volume, int mute);
    void infoDone(Device& d, bool gone);
    Status sendWrite(Device& d, const pa_cvolume* volume, int mute);

    void requestSinks();
    void syncStep();
    static void sinkListed(pa_context* c, const pa_sink_info* i, int eol, void* userdata);
    static void streamListed(pa_context* c, const pa_sink_input_info* i, int eol, void* userdata);
    static bool noSuchDevice(pa_context* c, int eol);
    template <typename Info>
    static void deviceInfo(pa_context* c, const Info* i, int eol, void* userdata);
    static void writeDone(pa_context* c, int success, void* userdata);
    static void serverEvent(pa_context* c, pa_subscription_event_type_t t, uint32_t index,
                            void* userdata);

    const AlsaWaveIn* capture_;
    std::array<Device, 2> devices_;  // Speakers (the default sink), WaveIn (the default source)
    bool syncing_ = false;           // the first reports after connecting are not all in yet
    std::vector<Output> sinks_;      // the outputs, isDefault left false (see outputs())
    std::vector<Output> listing_;    // a sink list being received
    bool listInFlight_ = false;      // a sink list request sent and not answered yet
    bool listAgain_ = false;         // sinks came or went meanwhile: list once more afterwards
    std::string moveTarget_;         // the output chosen last: where playing streams go
    PulseConnection connection_;     // last: it ends first, so no callback outlives the rest
};
