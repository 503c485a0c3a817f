#pragma once
// The program keeps some texts with NULs after them (captions, setting names, the tray record's
// tooltip); each of them counts only up to its first NUL.

#include <QString>

inline QString upToFirstNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}
