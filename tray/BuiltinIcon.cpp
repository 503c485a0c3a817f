#include "BuiltinIcon.h"

// The images are compiled into the tray library; a static library's resources must be
// registered by hand, or the linker leaves them out.
static void registerResources() {
    Q_INIT_RESOURCE(brennet);
}

QIcon BuiltinIcon::icon() {
    static const bool registered = (registerResources(), true);
    (void)registered;
    // One image per size, each drawn on whole pixels: 22 for the common 22-pixel tray, and 44,
    // 64 and 96 for 22, 32 and 48 on HiDPI screens (32 and 48 serve 16 and 24).
    QIcon icon;
    for (int size : {16, 22, 24, 32, 44, 48, 64, 96}) {
        icon.addFile(QStringLiteral(":/icons/brennet-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
