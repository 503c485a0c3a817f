#include "DriveListBox.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

// Kernel interfaces that look like file systems but hold no user files.
bool isPseudo(const QByteArray& type) {
    static const QSet<QByteArray> pseudo = {
        "proc",       "sysfs",      "devtmpfs",  "devpts", "cgroup",      "cgroup2",
        "securityfs", "debugfs",    "tracefs",   "pstore", "bpf",         "mqueue",
        "hugetlbfs",  "configfs",   "fusectl",   "autofs", "binfmt_misc", "efivarfs",
        "nsfs",       "rpc_pipefs", "selinuxfs", "rootfs", "sockfs",      "pipefs"};
    return pseudo.contains(type);
}

bool isReal(const QStorageInfo& volume) {
    return volume.device().startsWith("/dev/");
}

QString label(const QStorageInfo& volume) {
    const QString name =
        volume.name().isEmpty() ? QString::fromLatin1(volume.fileSystemType()) : volume.name();
    return name.isEmpty() ? volume.rootPath()
                          : QStringLiteral("%1  [%2]").arg(volume.rootPath(), name);
}

}  // namespace

QList<QStorageInfo> DriveListBox::volumes() {
    QList<QStorageInfo> list;
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid() || isPseudo(v.fileSystemType()) || !QFileInfo(v.rootPath()).isDir()) {
            continue;
        }
        list.append(v);
    }
    std::stable_sort(list.begin(), list.end(), [](const QStorageInfo& a, const QStorageInfo& b) {
        if (isReal(a) != isReal(b)) {
            return isReal(a);
        }
        return a.rootPath() < b.rootPath();
    });
    return list;
}

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
    for (const QStorageInfo& v : volumes()) {
        addVolume(v);
    }
    setDrive(QDir::currentPath());
    current_ = previous_ = currentIndex();
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        previous_ = current_;
        current_ = index;
        emit Change();
    });
}

int DriveListBox::addVolume(const QStorageInfo& volume) {
    addItem(label(volume), volume.rootPath());
    setItemData(count() - 1, volume.rootPath(), Qt::ToolTipRole);
    return count() - 1;
}

QString DriveListBox::Drive() const {
    return currentData().toString();
}

void DriveListBox::setDrive(const QString& path) {
    const QStorageInfo holder(path);
    if (!holder.isValid()) {
        return;
    }
    int index = findData(holder.rootPath());
    if (index < 0) {
        index = addVolume(holder);
    }
    setCurrentIndex(index);
}

void DriveListBox::revert() {
    if (previous_ < 0 || previous_ >= count()) {
        return;
    }
    const QSignalBlocker blocker(this);
    setCurrentIndex(previous_);
    current_ = previous_;
}
