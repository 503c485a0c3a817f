// The cost of one master-volume read and one write through each engine (the native sound-server
// engine and the ALSA engine, through the mixer service, and through clsVolume's VolumeLevel on the
// native one), against a bare snd_mixer_selem_set_playback_volume_all loop as the floor. Starts its
// own PulseAudio server with scripts/pulse-start on a private folder.
//
// Usage: EngineBench [calls]     (default 2000 calls per row)

#include "AlsaEngine.h"
#include "AlsaWaveIn.h"
#include "EngineMixer.h"
#include "PulseEngine.h"
#include "clsVolume.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

class SilentNotifier : public Notifier {
public:
    void MsgBox(const std::string&, uint32_t, const std::string&) override {}
};

std::string scriptsDir() {
    if (const char* src = std::getenv("BRENNET_SOURCE_DIR"))
        return std::string(src) + "/scripts/";
    std::string file = __FILE__;  // <source>/bench/EngineBench.cpp
    return file.substr(0, file.rfind("/bench/")) + "/scripts/";
}

// The master volume control of one mixer service, found as clsVolume finds it.
struct Probe {
    EngineMixer* mixer = nullptr;
    HMIXER h = 0;
    uint32_t id = 0;
    uint32_t value = 0;
    bool ok = false;
    void read() {
        MIXERCONTROLDETAILS d{MIXERCONTROLDETAILS_SIZE, id, 1, 0, 4, &value};
        mixer->mixerGetControlDetailsA(h, &d, 0);
    }
    void write(uint32_t v) {
        value = v;
        MIXERCONTROLDETAILS d{MIXERCONTROLDETAILS_SIZE, id, 1, 0, 4, &value};
        mixer->mixerSetControlDetails(h, &d, 0);
    }
};

Probe probe(EngineMixer& mixer) {
    Probe p;
    p.mixer = &mixer;
    MIXERLINE line{};
    line.cbStruct = MIXERLINE_SIZE;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    MIXERCONTROL ctrl{};
    MIXERLINECONTROLS lc{MIXERLINECONTROLS_SIZE, 0,    MIXERCONTROL_CONTROLTYPE_VOLUME, 1,
                         MIXERCONTROL_SIZE,      &ctrl};
    if (mixer.mixerOpen(&p.h, 0, 0, 0, 0) != 0 ||
        mixer.mixerGetLineInfoA(p.h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE) != 0)
        return p;
    lc.dwLineID = line.dwLineID;
    p.ok = mixer.mixerGetLineControlsA(p.h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE) == 0;
    p.id = ctrl.dwControlID;
    return p;
}

struct Stats {
    double median;
    double p90;
};

struct Row {
    const char* name;
    std::function<void(int)> call;
    std::vector<double> us;
    std::function<void()> before = [] {};  // runs untimed before each call
};

// Runs the rows in turns of a few calls each, so that the load of a busy machine falls on every
// row alike, and keeps each call's time.
void measure(std::vector<Row>& rows, int calls) {
    constexpr int kTurn = 20;
    for (Row& row : rows) {
        for (int i = 0; i < kTurn; ++i)  // warm-up
            row.call(i);
    }
    for (int done = 0; done < calls; done += kTurn) {
        for (Row& row : rows) {
            for (int i = done; i < done + kTurn; ++i) {
                row.before();
                auto t0 = std::chrono::steady_clock::now();
                row.call(i);
                row.us.push_back(
                    std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                        .count());
            }
        }
    }
}

Stats stats(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 9 / 10]};
}

}  // namespace

int main(int argc, char** argv) {
    int calls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    char tmpl[] = "/tmp/brennet-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        return 1;
    std::string dir = tmpl;
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir + "/pulse/native").c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (dir + "/client.conf").c_str(), 1);
    setenv("HOME", (dir + "/home").c_str(), 1);
    if (std::system((scriptsDir() + "pulse-start " + dir).c_str()) != 0) {
        std::fprintf(stderr, "EngineBench: the sound server did not start\n");
        return 1;
    }
    int rc = 0;
    {
        // The floor: the bare simple-mixer call, on a handle of its own.
        snd_mixer_t* bare = nullptr;
        snd_mixer_open(&bare, 0);
        snd_mixer_attach(bare, "default");
        snd_mixer_selem_register(bare, nullptr, nullptr);
        snd_mixer_load(bare);
        snd_mixer_selem_id_t* sid;
        snd_mixer_selem_id_alloca(&sid);
        snd_mixer_selem_id_set_name(sid, "Master");
        snd_mixer_elem_t* master = snd_mixer_find_selem(bare, sid);

        AlsaWaveIn waveIn;
        PulseEngine pulse(&waveIn);
        AlsaEngine alsa(&waveIn);
        EngineMixer native(pulse);
        EngineMixer viaAlsa(alsa);
        SilentNotifier notifier;
        clsVolume volume(native, waveIn, notifier);
        Probe n = probe(native);
        Probe a = probe(viaAlsa);
        if (master == nullptr || volume.VolumeMax() == 0 || !n.ok || !a.ok) {
            std::fprintf(stderr, "EngineBench: no master volume on the server\n");
            rc = 1;
        } else {
            // Alternating values, so that every write reaches the server.
            std::vector<Row> rows = {
                {"floor: snd_mixer_selem_set_playback_volume_all",
                 [&](int i) { snd_mixer_selem_set_playback_volume_all(master, 30000 + i % 2); },
                 {}},
                {"native engine read", [&](int) { n.read(); }, {}},
                {"native engine write", [&](int i) { n.write(40000 + i % 2); }, {}},
                {"ALSA engine read", [&](int) { a.read(); }, {}},
                {"ALSA engine write", [&](int i) { a.write(40000 + i % 2); }, {}},
                {"clsVolume VolumeLevel read (native)", [&](int) { volume.VolumeLevel(); }, {}},
                {"clsVolume VolumeLevel write (native)",
                 [&](int i) { volume.VolumeLevel(50000 + i % 2); },
                 {}},
            };
            measure(rows, calls);
            Stats floor = stats(rows[0].us);
            std::printf("Master volume against PulseAudio, %d calls per row (microseconds)\n",
                        calls);
            std::printf("%-48s %10s %10s %13s\n", "call", "median", "p90", "median/floor");
            for (const Row& row : rows) {
                Stats s = stats(row.us);
                std::printf("%-48s %10.1f %10.1f %12.2fx\n", row.name, s.median, s.p90,
                            s.median / floor.median);
            }
        }
        snd_mixer_close(bare);
    }
    std::system((scriptsDir() + "pulse-stop " + dir).c_str());
    std::system(("rm -rf '" + dir + "'").c_str());
    return rc;
}
