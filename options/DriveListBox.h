#pragma once
// The drive list of the file chooser: the mounted file systems, shown by their root path and
// name. Drive is the selected one's root path.

#include <QComboBox>
#include <QList>
#include <QStorageInfo>
#include <QString>

class DriveListBox : public QComboBox {
    Q_OBJECT

public:
    // Lists the mounted file systems and selects the one that holds the current folder.
    explicit DriveListBox(QWidget* parent = nullptr);

    QString Drive() const;
    // Selects the file system that holds path (a root path or any folder on it).
    void setDrive(const QString& path);
    // Goes back to the selection before the last change, without raising Change.
    void revert();

    // The file systems worth offering: real (block device) ones first, pseudo file systems and
    // mounted single files left out.
    static QList<QStorageInfo> volumes();

signals:
    void Change();

private:
    int addVolume(const QStorageInfo& volume);
    int current_ = -1;
    int previous_ = -1;
};
