// In-process click bench: the time from the tray's release message entering the main window
// to the handler's return, with the engines Brennet itself uses (the sound server's native engine
// where one answers, BRENNET_MIXER as in Brennet).
// Left and right clicks alternate, 100 ms apart, so the level stays inside the range.
//
// Usage: ReleaseHandler [N]   (the sound server's client environment; no display needed)
// Prints median and 90th percentile in microseconds, and the same for one mixer level read.

#include "AlsaEngine.h"
#include "AlsaWaveIn.h"
#include "EngineChooser.h"
#include "EngineMixer.h"
#include "PulseEngine.h"
#include "SettingsStore.h"
#include "frmMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class NoTray : public TrayService {
public:
    bool Shell_NotifyIcon(uint32_t, const NOTIFYICONDATA&) override { return true; }
};
class NoSound : public SoundPlayer {
public:
    void playAsync(const std::string&) override {}
};
class NoMessages : public Notifier {
public:
    void MsgBox(const std::string&, uint32_t, const std::string&) override {}
};

void report(const char* what, std::vector<double> us) {
    std::sort(us.begin(), us.end());
    std::printf("%-40s %9.1f %9.1f %6zu\n", what, us[us.size() / 2],
                us[std::min(us.size() - 1, us.size() * 9 / 10)], us.size());
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 200;
    QTemporaryDir config;

    AlsaWaveIn waveIn;
    PulseEngine pulse(&waveIn);
    AlsaEngine alsa(&waveIn);
    EngineChooser engine(pulse, alsa, qEnvironmentVariable("BRENNET_MIXER").toStdString());
    EngineMixer mixer(engine);
    NoTray tray;
    NoSound player;
    NoMessages notifier;
    SettingsStore settings(config.path());
    frmMain form({mixer, waveIn, notifier, tray, player, settings}, QString());
    form.Form_Load();
    if (!form.volume()) {
        std::fprintf(stderr, "ReleaseHandler: no mixer\n");
        return 1;
    }
    form.volume()->VolumeLevel(form.volume()->VolumeMax() / 2);

    std::vector<double> release, read;
    for (int i = 0; i < 2 * n; ++i) {
        // Clicks come apart, as a user's do: the server's notifications of the last write
        // have arrived by the next one.
        QThread::msleep(100);
        const bool left = i % 2 == 0;
        form.trayCallback(WM_MOUSEMOVE, left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN);
        const auto t0 = Clock::now();
        form.trayCallback(WM_MOUSEMOVE, left ? WM_LBUTTONUP : WM_RBUTTONUP);
        const auto t1 = Clock::now();
        (void)form.volume()->VolumeLevel();
        const auto t2 = Clock::now();
        if (i >= 10) {  // after a warm-up
            release.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            read.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
        }
    }
    std::printf("%-40s %9s %9s %6s\n", "in process (us)", "median", "p90", "n");
    report("release handler entry -> return", release);
    report("one VolumeLevel read", read);
    return 0;
}
