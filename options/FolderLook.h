#pragma once
// One look of the file chooser at a folder: whether it can be listed (and if not, the system's
// reason), its subfolders and its files, hidden ones left out, sorted by name ignoring case.
//
// A mount that does not answer (a dead network server, a medium that spins up for ever) hangs
// whoever looks, so the chooser never looks on its own thread: start() runs the look on a thread
// of its own and hands the answer back on the caller's thread; after the timeout the folder
// counts as not ready and the thread is left to finish whenever it can. It is detached and holds
// nothing of the caller's, so it never holds up the program's end (quit or Apply).

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

struct FolderListing {
    bool readable = false;
    QString reason;  // why not, when not readable
    QStringList folders;
    QStringList files;
};

class FolderLook {
public:
    using Lister = std::function<FolderListing(const QString& folder)>;

    // The real look, on the calling thread.
    static FolderListing list(const QString& folder);

    // Runs lister(folder) on a thread of its own. done gets the answer on context's thread, or
    // after timeoutMs an unreadable listing whose reason is "驱动器未就绪" (drive not ready);
    // done is called once, and never after context is gone.
    static void start(QObject* context, const QString& folder, const Lister& lister, int timeoutMs,
                      std::function<void(const FolderListing&)> done);
};
