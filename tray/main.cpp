// Composition root: creates the real services and the main window, then runs the event loop.

#include "AlsaMixer.h"
#include "AlsaWaveIn.h"
#include "CanberraPlayer.h"
#include "MessageBoxNotifier.h"
#include "QtProcessControl.h"
#include "SettingsStore.h"
#include "XEmbedTray.h"
#include "frmMain.h"
#include "frmOpen.h"
#include "frmOps.h"

#include <QApplication>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The icon lives in an X11 system tray; without an X server there is nothing to show it in.
bool haveX11Display() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        return false;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!haveX11Display()) {
        std::fputs("Brennet needs an X11 display with a system tray\n", stderr);
        return 1;
    }
    // The tray service speaks the X11 tray protocol, so Qt must run on X11 even where another
    // platform is the default. A tray icon and two dialogs need no OpenGL: keep it unloaded.
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_XCB_GL_INTEGRATION", "none");

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // the dialogs come and go; the icon stays

    AlsaWaveIn waveIn;
    AlsaMixer mixer(&waveIn);
    MessageBoxNotifier notifier;
    XEmbedTray tray;
    CanberraPlayer player;
    SettingsStore settings;

    frmMain form({mixer, waveIn, notifier, tray, player, settings},
                 QCoreApplication::applicationDirPath());

    // The options dialog and its file chooser: objects for the whole run, windows on demand.
    QtProcessControl process;
    frmOps options(form, settings, notifier, process);
    frmOpen chooser(options, process);
    options.setChooser(&chooser);
    form.setOptionsView(&options);

    form.Form_Load();
    return app.exec();
}
