#include "BuiltinIcon.h"

QIcon BuiltinIcon::icon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        icon.addFile(QStringLiteral(":/icons/brennet-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
