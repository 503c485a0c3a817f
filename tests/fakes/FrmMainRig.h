#pragma once
// The program as main.cpp wires it, over fakes: a main window on the real mixer service over an
// in-memory sound system whose master line is 0..255; fake wave input, message box, tray, sound
// player and process; a real settings store in a temporary folder; and (makeOptions) the options
// dialog its left hold shows.
//
//     FrmMainRig rig;                                 // also creates the QApplication once
//     rig.save(settingNames::kSound, "0");            // a stored setting, as Apply writes it
//     frmMain& form = rig.make();                     // the window, not yet loaded
//     form.Form_Load();
//     rig.tray.click(WM_LBUTTONDOWN);                 // the tray hands a mouse message over
//
// Form_Unload does not end the test program: it counts endCalls instead. Numbers are read and
// shown in the C locale.

#include "EngineMixer.h"
#include "FakeEngine.h"
#include "FakeNotifier.h"
#include "FakeProcessControl.h"
#include "FakeSoundPlayer.h"
#include "FakeTray.h"
#include "FakeWaveIn.h"
#include "SettingNames.h"
#include "SettingsStore.h"
#include "frmMain.h"
#include "frmOps.h"

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include <memory>

class FrmMainRig {
public:
    // configHome empty: a fresh temporary folder.
    explicit FrmMainRig(const QString& programFolder = QStringLiteral("/opt/brennet"),
                        const QString& configHome = QString())
        : settings(configHome.isEmpty() ? temporary.path() : configHome),
          process(programFolder + QStringLiteral("/brennet")),
          programFolder_(programFolder) {
        ensureApplication();
        QLocale::setDefault(QLocale::c());
        engine.add(MixerEngine::Line::Speakers, {0, 255});
    }
    ~FrmMainRig() {
        ops.reset();
        flushDeletes();
    }
    // Runs the deleteLater() of closed windows now.
    static void flushDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    frmMain& make() {
        form = std::make_unique<frmMain>(
            frmMain::Services{mixer, waveIn, notifier, tray, player, settings}, programFolder_);
        form->setEndProgram([this] { ++endCalls; });
        return *form;
    }
    frmOps& makeOptions() {
        ops = std::make_unique<frmOps>(*form, settings, notifier, process);
        form->setOptionsView(ops.get());
        return *ops;
    }

    bool save(const QString& key, const QString& value) {
        return settings.rtcSaveSetting(settingNames::kApplication, settingNames::kSection, key,
                                       value);
    }
    QString stored(const QString& key) const {
        return settings.rtcGetSetting(settingNames::kApplication, settingNames::kSection, key,
                                      QStringLiteral("<none>"));
    }

    static void ensureApplication() {
        if (!QApplication::instance()) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
                qputenv("QT_QPA_PLATFORM", "offscreen");  // unit tests never need a display
            }
            static int argc = 1;
            static char name[] = "brennet-test";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);  // lives to the end, like the program's own
            QApplication::setQuitOnLastWindowClosed(false);
        }
    }

    QTemporaryDir temporary;
    // The sound system, its master line (0..255 and mute) and the real mixer service over it.
    FakeEngine::State& master() { return engine.lines[MixerEngine::Line::Speakers]; }
    FakeEngine engine;
    EngineMixer mixer{engine};
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    FakeTray tray;
    FakeSoundPlayer player;
    SettingsStore settings;
    FakeProcessControl process;
    std::unique_ptr<frmMain> form;
    std::unique_ptr<frmOps> ops;
    int endCalls = 0;

private:
    QString programFolder_;
};
