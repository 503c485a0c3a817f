#include "DirListBox.h"

#include <QDir>
#include <QFile>
#include <QStyle>

#include <cerrno>
#include <cstring>

#include <dirent.h>

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (item) {
            setPath(item->data(PathRole).toString());
        }
    });
}

// Opens the folder for listing the way the listing will, so the reason for a failure is the
// system's own (no such folder, permission denied, I/O error on a bad medium ...).
bool DirListBox::canList(const QString& folder, QString* reason) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ::closedir(dir);
    return true;
}

QString DirListBox::normalized(const QString& folder) {
    return QDir::cleanPath(QDir(folder).absolutePath());
}

bool DirListBox::setPath(const QString& folder) {
    const QString target = normalized(folder);
    QString reason;
    if (!canList(target, &reason)) {
        emit Unreadable(target, reason);
        return false;
    }
    const bool changed = target != path_;
    path_ = target;
    fill();
    if (changed) {
        emit Change();
    }
    return true;
}

void DirListBox::fill() {
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The root, then each ancestor down to the current folder, one step deeper each.
    QStringList parts = path_.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString walked;
    int depth = 0;
    auto add = [this](const QString& text, const QString& full, const QIcon& icon, int depth) {
        auto* item = new QListWidgetItem(icon, QString(depth * 2, QLatin1Char(' ')) + text, this);
        item->setData(PathRole, full);
        item->setToolTip(full);
        return item;
    };
    QListWidgetItem* currentItem = add(QStringLiteral("/"), QStringLiteral("/"), open, depth);
    for (const QString& part : parts) {
        walked += QLatin1Char('/') + part;
        currentItem = add(part, walked, open, ++depth);
    }

    const QDir dir(path_);
    const QStringList subfolders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                 QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString& name : subfolders) {
        add(name, dir.filePath(name), closed, depth + 1);
    }
    setCurrentItem(currentItem);
}
