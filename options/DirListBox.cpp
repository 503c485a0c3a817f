#include "DirListBox.h"

#include <QDir>
#include <QStyle>

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (item) {
            setPath(item->data(PathRole).toString());
        }
    });
}

QString DirListBox::normalized(const QString& folder) {
    return QDir::cleanPath(QDir(folder).absolutePath());
}

void DirListBox::setLister(FolderLook::Lister lister, int timeoutMs) {
    lister_ = std::move(lister);
    timeoutMs_ = timeoutMs;
}

void DirListBox::setPath(const QString& folder) {
    const QString target = normalized(folder);
    const int look = ++look_;
    FolderLook::start(this, target, lister_, timeoutMs_,
                      [this, look, target](const FolderListing& listing) {
                          if (look == look_)
                              lookedAt(target, listing);
                      });
}

void DirListBox::lookedAt(const QString& folder, const FolderListing& listing) {
    if (!listing.readable) {
        emit Unreadable(folder, listing.reason);
        return;
    }
    const bool changed = folder != path_;
    path_ = folder;
    files_ = listing.files;
    fill(listing.folders);
    if (changed) {
        emit Change();
    }
}

void DirListBox::fill(const QStringList& subfolders) {
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

    const QDir dir(path_);  // joins names only; never reads the folder
    for (const QString& name : subfolders) {
        add(name, dir.filePath(name), closed, depth + 1);
    }
    setCurrentItem(currentItem);
}
