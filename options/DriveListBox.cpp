#include "DriveListBox.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSet>

#include <algorithm>

namespace {

// Kernel interfaces that look like file systems but hold no user files.
bool isPseudo(const QString& type) {
    static const QSet<QString> pseudo = {
        "proc",       "sysfs",      "devtmpfs",  "devpts", "cgroup",      "cgroup2",
        "securityfs", "debugfs",    "tracefs",   "pstore", "bpf",         "mqueue",
        "hugetlbfs",  "configfs",   "fusectl",   "autofs", "binfmt_misc", "efivarfs",
        "nsfs",       "rpc_pipefs", "selinuxfs", "rootfs", "sockfs",      "pipefs"};
    return pseudo.contains(type);
}

// Mounts inside the kernel's own trees (cgroup folders on a tmpfs under /sys ...).
bool inKernelTree(const QString& root) {
    for (const char* tree : {"/proc", "/sys"}) {
        const QLatin1String prefix(tree);
        if (root == prefix || root.startsWith(prefix + QLatin1Char('/'))) {
            return true;
        }
    }
    return false;
}

bool isReal(const DriveListBox::Mount& mount) {
    return mount.device.startsWith(QLatin1String("/dev/"));
}

// The mount table writes a blank, tab, newline or backslash in a field as \ and three octal
// digits.
QString unescaped(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

bool holds(const QString& root, const QString& path) {
    return root == QLatin1String("/") || path == root || path.startsWith(root + QLatin1Char('/'));
}

}  // namespace

QList<DriveListBox::Mount> DriveListBox::mounts(const QString& table) {
    QFile file(table);
    QMap<QString, Mount> byRoot;  // a later mount on the same folder hides the earlier one
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 3) {
                continue;
            }
            const Mount mount{unescaped(fields[1]), unescaped(fields[0]), unescaped(fields[2])};
            if (mount.root.startsWith(QLatin1Char('/'))) {
                byRoot.insert(mount.root, mount);
            }
        }
    }
    QList<Mount> list;
    for (const Mount& mount : byRoot) {
        if (!isPseudo(mount.type) && !inKernelTree(mount.root)) {
            list.append(mount);
        }
    }
    std::stable_sort(list.begin(), list.end(), [](const Mount& a, const Mount& b) {
        if (isReal(a) != isReal(b)) {
            return isReal(a);
        }
        return a.root < b.root;
    });
    return list;
}

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
    for (const Mount& mount : mounts()) {
        addMount(mount);
    }
    setDrive(QDir::currentPath());
    current_ = previous_ = currentIndex();
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        previous_ = current_;
        current_ = index;
        emit Change();
    });
}

int DriveListBox::addMount(const Mount& mount) {
    const QString text =
        mount.type.isEmpty() ? mount.root : QStringLiteral("%1  [%2]").arg(mount.root, mount.type);
    addItem(text, mount.root);
    setItemData(count() - 1, QStringLiteral("%1 (%2)").arg(mount.root, mount.device),
                Qt::ToolTipRole);
    return count() - 1;
}

QString DriveListBox::Drive() const {
    return currentData().toString();
}

void DriveListBox::setDrive(const QString& path) {
    const QString target = QDir::cleanPath(QDir(path).absolutePath());
    QString best;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        if (holds(root, target) && root.size() > best.size()) {
            best = root;
        }
    }
    if (best.isEmpty()) {
        return;
    }
    setCurrentIndex(findData(best));
}

void DriveListBox::revert() {
    if (previous_ < 0 || previous_ >= count()) {
        return;
    }
    const QSignalBlocker blocker(this);
    setCurrentIndex(previous_);
    current_ = previous_;
}
