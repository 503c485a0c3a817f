#include "BuiltinIcon.h"

QIcon BuiltinIcon::icon() {
    // One image per size, each drawn on whole pixels: 22 for the common 22-pixel tray, and 44,
    // 64 and 96 for 22, 32 and 48 on HiDPI screens (32 and 48 serve 16 and 24).
    QIcon icon;
    for (int size : {16, 22, 24, 32, 44, 48, 64, 96}) {
        icon.addFile(QStringLiteral(":/icons/brennet-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
