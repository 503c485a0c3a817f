#pragma once
// Reads a custom tray icon from an icon file, within bounds on what the file may cost.

#include <QIcon>
#include <QString>

class IconFileReader {
public:
    // The images of an icon file, or a null icon when the file is missing, is not in the icon
    // format whatever its name says, is too large, or holds an image that is oversized or
    // damaged.
    static QIcon read(const QString& path);
};
