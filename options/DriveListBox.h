#pragma once
// The drive list of the file chooser: the mounted file systems, shown by their root path and
// type. Drive is the selected one's root path. The list comes from the kernel's mount table
// alone: no mount is touched until the user picks it, so a dead network mount cannot freeze it.

#include <QComboBox>
#include <QList>
#include <QString>

class DriveListBox : public QComboBox {
    Q_OBJECT

public:
    struct Mount {
        QString root;    // where it is mounted
        QString device;  // what is mounted there ("/dev/sda1", "server:/export", "tmpfs" ...)
        QString type;    // the file system type
    };

    // Lists the mounted file systems and selects the one that holds the current folder.
    explicit DriveListBox(QWidget* parent = nullptr);

    QString Drive() const;
    // Selects the file system that holds path (a root path or any folder on it), judged by the
    // path alone.
    void setDrive(const QString& path);
    // Goes back to the selection before the last change, without raising Change.
    void revert();

    // The file systems worth offering, read from a mount table in the kernel's format: real
    // (block device) ones first, pseudo file systems left out, a mount hidden by a later one on
    // the same folder left out.
    static QList<Mount> mounts(const QString& table = QStringLiteral("/proc/self/mounts"));

signals:
    void Change();

private:
    int addMount(const Mount& mount);
    int current_ = -1;
    int previous_ = -1;
};
