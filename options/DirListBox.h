#pragma once
// The folder list of the file chooser: the current folder with its ancestors above it and its
// subfolders below, like a classic folder list. Path is the current folder's full path, with no
// trailing "/" except at the root. Opening a folder (double-click or Enter) or setting Path
// moves the list and raises Change.

#include <QListWidget>
#include <QString>

class DirListBox : public QListWidget {
    Q_OBJECT

public:
    // The item role that holds each entry's full path.
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit DirListBox(QWidget* parent = nullptr);

    QString Path() const { return path_; }
    // Moves the list to folder (relative paths are taken from the current folder). A folder that
    // cannot be read leaves the list where it was, raises Unreadable and returns false.
    bool setPath(const QString& folder);

    // Whether folder can be listed; when not, reason says why. Safe on any thread.
    static bool canList(const QString& folder, QString* reason);

    // Turns a folder into the list's form: absolute, clean, no trailing "/" except at the root.
    static QString normalized(const QString& folder);

signals:
    void Change();
    void Unreadable(const QString& folder, const QString& reason);

private:
    void fill();
    QString path_;
};
