#pragma once
// A folder and a file name joined with one "/", never two in a row ("/name" at the root).

#include <QString>

inline QString joinPath(const QString& folder, const QString& file) {
    QString joined = folder;
    while (joined.endsWith(u'/')) {
        joined.chop(1);
    }
    QString name = file;
    while (name.startsWith(u'/')) {
        name.remove(0, 1);
    }
    return joined + u'/' + name;
}
