// Composition root: creates the real services, the main window, the options dialog and its file
// chooser, wires them together and runs the event loop.

#include "AlsaEngine.h"
#include "AlsaWaveIn.h"
#include "CanberraPlayer.h"
#include "EngineChooser.h"
#include "EngineDevices.h"
#include "EngineMixer.h"
#include "EngineWatch.h"
#include "MessageBoxNotifier.h"
#include "PulseEngine.h"
#include "QtProcessControl.h"
#include "SessionPlatform.h"
#include "SettingsStore.h"
#include "SingleInstance.h"
#include "SniTray.h"
#include "TrayChooser.h"
#include "TrayMenu.h"
#include "XEmbedTray.h"
#include "frmMain.h"
#include "frmOpen.h"
#include "frmOps.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QSessionManager>
#include <QThread>
#include <QTranslator>

#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "usage: brennet [--options]\n"
    "  --options   open the options dialog (of the Brennet that runs already, if any)\n"
    "  --help      show this help\n"
    "  --version   show the version\n";

struct CommandLine {
    bool options = false;
    // A session manager that saved an earlier Brennet starts it again as "brennet -session ID";
    // the ID goes on to Qt, which reconnects to the session manager under it.
    char* session = nullptr;
};

// Reads the arguments before Qt sees them: Qt's own options (-platform, -display ...) would
// move the program off the display its tray needs, so nothing but ours and the session
// manager's -session is accepted. Returns false when the program is to end with *status.
bool parseCommandLine(int argc, char* argv[], CommandLine* line, int* status) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--options") == 0) {
            line->options = true;
        } else if ((std::strcmp(argv[i], "-session") == 0 ||
                    std::strcmp(argv[i], "--session") == 0) &&
                   i + 1 < argc && *argv[i + 1]) {
            line->session = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            *status = 0;
            return false;
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Brennet %s\n", BRENNET_VERSION);
            *status = 0;
            return false;
        } else {
            std::fprintf(stderr, "brennet: unknown argument '%s'\n%s", argv[i], kUsage);
            *status = 2;
            return false;
        }
    }
    return true;
}

// Apply starts a new instance and ends this one at once: give the claim up first, so the new
// one takes it instead of handing its start to this one. Take it back if the start failed.
class ReleasingProcessControl : public ProcessControl {
public:
    ReleasingProcessControl(ProcessControl& process, SingleInstance& instance)
        : process_(process), instance_(instance) {}
    QString applicationFilePath() const override { return process_.applicationFilePath(); }
    QString applicationDirPath() const override { return process_.applicationDirPath(); }
    bool startDetached(const QString& program, QString* error) override {
        instance_.release();
        const bool ok = process_.startDetached(program, error);
        if (!ok) {
            instance_.claim();
        }
        return ok;
    }
    void exitNow() override { process_.exitNow(); }

private:
    ProcessControl& process_;
    SingleInstance& instance_;
};

// Takes the claim, or hands the start to the instance that holds it. An instance that is just
// ending holds it without answering for a moment: try again for a little while.
enum class Start { Run, HandedOver, Restored, Failed };
Start claimOrHandOver(SingleInstance& instance) {
    constexpr int kTryMs = 3000;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kTryMs) {
        if (instance.claim()) {
            return Start::Run;
        }
        if (instance.showOptionsOfRunning()) {
            return Start::HandedOver;
        }
        QThread::msleep(100);
    }
    return Start::Failed;
}

}  // namespace

int main(int argc, char* argv[]) {
    CommandLine line;
    int status = 0;
    if (!parseCommandLine(argc, argv, &line, &status)) {
        return status;
    }
    const SessionPlatform::Probe session = SessionPlatform::probe();
    const QByteArray platform = SessionPlatform::choose(session);
    if (session.waylandSession && session.waylandReachable && !session.waylandPlugin) {
        std::fputs("Brennet: Qt's Wayland platform (qt6-wayland) is not installed\n", stderr);
    }
    if (platform.isEmpty()) {
        std::fputs("Brennet needs a Wayland or X11 display for its tray icon\n", stderr);
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", platform);
    // A tray icon and two dialogs need no OpenGL: keep it unloaded.
    qputenv("QT_XCB_GL_INTEGRATION", "none");

    char sessionOption[] = "-session";
    char* qtArgv[] = {argv[0], sessionOption, line.session, nullptr};
    int qtArgc = line.session ? 3 : 1;
    QApplication app(qtArgc, qtArgv);
    QApplication::setQuitOnLastWindowClosed(false);  // the dialogs come and go; the icon stays
    QGuiApplication::setDesktopFileName(QStringLiteral("brennet"));  // the Wayland app id
    // The dialogs' captions are Chinese; Qt's own texts in them (standard buttons, a text box's
    // menu) follow. Only the texts: numbers keep the user's locale.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTexts);
    }
    // The autostart entry starts Brennet with every login; a session manager that restarted it
    // as well would start a second one.
    QObject::connect(&app, &QGuiApplication::saveStateRequest, [](QSessionManager& manager) {
        manager.setRestartHint(QSessionManager::RestartNever);
    });

    SingleInstance instance;
    // A session's restart beside the autostarted Brennet ends quietly: the user asked for no
    // options dialog.
    const Start start = !line.session ? claimOrHandOver(instance)
                        : instance.claim(SingleInstance::HandOver::Nothing) ? Start::Run
                                                                            : Start::Restored;
    switch (start) {
        case Start::Run:
            break;
        case Start::Restored:
            return 0;
        case Start::HandedOver:
            return 0;  // the running Brennet shows its options
        case Start::Failed:
            std::fputs("Brennet: another instance holds the claim but does not answer\n", stderr);
            return 1;
    }

    AlsaWaveIn waveIn;
    PulseEngine pulse(&waveIn);
    AlsaEngine alsa(&waveIn);
    const std::string forcedMixer = qEnvironmentVariable("BRENNET_MIXER").toStdString();
    if (!forcedMixer.empty() && !EngineChooser::knows(forcedMixer)) {
        std::fprintf(stderr, "Brennet: BRENNET_MIXER='%s' is neither pulse nor alsa; ignored\n",
                     forcedMixer.c_str());
    }
    // Destroyed in reverse order: the watch and the chooser remove their change handlers before
    // they go, while the engines under them still run.
    EngineChooser engine(pulse, alsa, forcedMixer);
    EngineWatch engineWatch(engine);
    EngineMixer mixer(engine);
    MessageBoxNotifier notifier;
    XEmbedTray xembed;
    SniTray sni;
    TrayChooser tray(xembed, sni, qEnvironmentVariable("BRENNET_TRAY"));
    CanberraPlayer player;
    SettingsStore settings;

    EngineDevices devices(engine);  // the outputs and the microphone
    frmMain form({mixer, waveIn, notifier, tray, player, settings},
                 QCoreApplication::applicationDirPath());
    form.setDevices(&devices);  // the tooltip tells the microphone's mute

    // The icon's menu, on both trays: the window's commands, the outputs and the microphone.
    TrayMenu menu(&form, &devices);
    xembed.setMenu(&menu);
    sni.setMenu(&menu);

    // The options dialog and its file chooser: objects for the whole run, windows on demand.
    QtProcessControl qtProcess;
    ReleasingProcessControl process(qtProcess, instance);
    frmOps options(form, settings, notifier, process);
    frmOpen chooser(options, process);
    options.setChooser(&chooser);
    form.setOptionsView(&options);

    QObject::connect(&instance, &SingleInstance::showOptionsRequested, &form,
                     &frmMain::ShowOptions);
    QObject::connect(&engineWatch, &EngineWatch::changed, &form, &frmMain::mixerChanged);
    // The menu follows every change the engine tells (outputs, the default, the microphone),
    // also while it is open; after the window, whose mute it ticks.
    QObject::connect(&engineWatch, &EngineWatch::changed, &menu, &TrayMenu::refresh);

    form.Form_Load();
    if (line.options) {
        form.ShowOptions();
    }
    return app.exec();
}
