#pragma once
// The program's own tray and window icon, drawn at 16, 24, 32 and 48 pixels.

#include <QIcon>

class BuiltinIcon {
public:
    static QIcon icon();
};
