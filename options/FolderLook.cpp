#include "FolderLook.h"

#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QPromise>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

#include <dirent.h>

FolderListing FolderLook::list(const QString& folder) {
    FolderListing listing;
    // Opened the way the listing will, so a failure's reason is the system's own (no such
    // folder, permission denied, I/O error on a bad medium ...).
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        listing.reason = QString::fromLocal8Bit(std::strerror(errno));
        return listing;
    }
    ::closedir(dir);
    listing.readable = true;
    const QDir::SortFlags order = QDir::Name | QDir::IgnoreCase | QDir::LocaleAware;
    const QDir qdir(folder);
    listing.folders = qdir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, order);
    listing.files = qdir.entryList(QDir::Files, order);
    return listing;
}

void FolderLook::start(QObject* context, const QString& folder, const Lister& lister, int timeoutMs,
                       std::function<void(const FolderListing&)> done) {
    QPromise<FolderListing> promise;
    auto* watcher = new QFutureWatcher<FolderListing>(context);
    auto* timer = new QTimer(watcher);
    timer->setSingleShot(true);
    // Whichever comes first, the answer or the timeout, is taken; the watcher goes with it.
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [=] {
        timer->stop();
        watcher->disconnect();
        done(watcher->result());
        watcher->deleteLater();
    });
    QObject::connect(timer, &QTimer::timeout, watcher, [=] {
        watcher->disconnect();
        FolderListing late;
        late.reason = QString::fromUtf8("驱动器未就绪");
        done(late);
        watcher->deleteLater();
    });
    watcher->setFuture(promise.future());
    timer->start(timeoutMs);
    std::thread([promise = std::move(promise), lister, folder]() mutable {
        promise.start();
        promise.addResult(lister(folder));
        promise.finish();
    }).detach();
}
