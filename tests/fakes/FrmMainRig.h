#pragma once
// A main window over fakes, for tests of the window and of what works with it (the options
// dialog): a fake mixer with a master line 0..255, fake wave input, message box, tray and sound
// player, and a real settings store in a temporary folder.
//
//     FrmMainRig rig;                          // also creates the QApplication once
//     rig.save(FrmMainRig::kSoundName, "0");   // a stored setting, as Apply writes it
//     frmMain& form = rig.make();              // the window, not yet loaded
//     form.Form_Load();
//     rig.tray.click(WM_LBUTTONDOWN);          // the tray hands a mouse message to the window
//
// Form_Unload does not end the test program: it counts endCalls instead.

#include "FakeMixer.h"
#include "FakeNotifier.h"
#include "FakeSoundPlayer.h"
#include "FakeTray.h"
#include "FakeWaveIn.h"
#include "SettingsStore.h"
#include "frmMain.h"

#include <QApplication>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class FrmMainRig {
public:
    static inline const QString kApplication = QStringLiteral("Brennet");
    static inline const QString kSection = QStringLiteral(u"设置");
    static inline const QString kStepName = QStringLiteral(u"增加       ");
    static inline const QString kSoundName = QStringLiteral(u"声音");

    explicit FrmMainRig(const QString& programFolder = QStringLiteral("/opt/brennet"))
        : programFolder_(programFolder), settings(configHome.path()) {
        ensureApplication();
        mixer.addMaster(0, 255);
    }

    frmMain& make() {
        form = std::make_unique<frmMain>(
            frmMain::Services{mixer, waveIn, notifier, tray, player, settings}, programFolder_);
        form->setEndProgram([this] { ++endCalls; });
        return *form;
    }

    bool save(const QString& key, const QString& value) {
        return settings.rtcSaveSetting(kApplication, kSection, key, value);
    }
    QString stored(const QString& key) const {
        return settings.rtcGetSetting(kApplication, kSection, key, QStringLiteral("<none>"));
    }

    static void ensureApplication() {
        if (!QApplication::instance()) {
            // Unit tests never need a display.
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
            }
            static int argc = 1;
            static char name[] = "brennet-test";
            static char* argv[] = {name, nullptr};
            // Lives to the end of the test program, like the program's own.
            static QApplication* app = new QApplication(argc, argv);
            (void)app;
            QApplication::setQuitOnLastWindowClosed(false);
        }
    }

private:
    QString programFolder_;

public:
    QTemporaryDir configHome;
    FakeMixer mixer;
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    FakeTray tray;
    FakeSoundPlayer player;
    SettingsStore settings;
    std::unique_ptr<frmMain> form;
    int endCalls = 0;
};
