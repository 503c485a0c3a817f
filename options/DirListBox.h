#pragma once
// The folder list of the file chooser: the current folder with its ancestors above it and its
// subfolders below, like a classic folder list. Path is the current folder's full path, with no
// trailing "/" except at the root. Opening a folder (double-click or Enter) or setting Path
// moves the list and raises Change.
//
// The list never looks at the file system on its own thread: setPath() starts a look (see
// FolderLook) and the list moves when the answer comes; only the folder asked for last counts.
// Files holds the files the look found, for the file list.

#include "FolderLook.h"

#include <QListWidget>
#include <QString>
#include <QStringList>

class DirListBox : public QListWidget {
    Q_OBJECT

public:
    // The item role that holds each entry's full path.
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit DirListBox(QWidget* parent = nullptr);

    QString Path() const { return path_; }
    // Moves the list to folder (relative paths are taken from the current folder) once it has
    // been looked at. A folder that cannot be read or does not answer in time leaves the list
    // where it was and raises Unreadable.
    void setPath(const QString& folder);
    // The files of the current folder, hidden ones left out.
    QStringList Files() const { return files_; }

    // How folders are looked at, and how long a look may take. The real look by default.
    void setLister(FolderLook::Lister lister, int timeoutMs);

    // Turns a folder into the list's form: absolute, clean, no trailing "/" except at the root.
    static QString normalized(const QString& folder);

signals:
    void Change();
    void Unreadable(const QString& folder, const QString& reason);

private:
    void lookedAt(const QString& folder, const FolderListing& listing);
    void fill(const QStringList& subfolders);

    QString path_;
    QStringList files_;
    FolderLook::Lister lister_ = &FolderLook::list;
    int timeoutMs_ = 3000;
    int look_ = 0;  // counts the looks, so only the latest one's answer is taken
};
