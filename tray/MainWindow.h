#pragma once
// What the options dialog needs of the main window: its icon, which the dialog shows too; the
// tray icon removed before Apply runs Initialize again with a new icon file; Initialize itself;
// and ending the program as unloading the main window does.

#include <QIcon>

class MainWindow {
public:
    virtual ~MainWindow() = default;
    virtual QIcon icon() const = 0;
    virtual void removeTrayIcon() = 0;
    virtual void Initialize() = 0;
    virtual void Form_Unload() = 0;
};
