#include "SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {

const char kObjectPath[] = "/org/brennet/Brennet";
const char kInterface[] = "org.brennet.Brennet";
constexpr int kAnswerMs = 2000;

// The display in a form a bus name and a socket name can carry: ":0.0" becomes "_0_0".
QString displayPart() {
    QString display = qEnvironmentVariable("DISPLAY");
    QString part = QStringLiteral("X");
    for (const QChar c : display) {
        part += c.isLetterOrNumber() && c.unicode() < 128 ? c : QChar(u'_');
    }
    return part;
}

}  // namespace

SingleInstance::SingleInstance()
    : busName_(QStringLiteral("org.brennet.Brennet.") + displayPart()),
      socketName_(QStringLiteral("brennet-%1-%2").arg(getuid()).arg(displayPart())) {}

SingleInstance::~SingleInstance() {
    release();
}

bool SingleInstance::claim(HandOver handOver) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.registerObject(QString::fromLatin1(kObjectPath), this,
                           QDBusConnection::ExportScriptableSlots);
        const auto reply =
            bus.interface()->registerService(busName_, QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        busClaimed_ =
            reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
        return busClaimed_;
    }
    if (!server_) {
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        connect(server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = server_->nextPendingConnection()) {
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                // A start that only looks whether an instance runs sends nothing.
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                    socket->readAll();
                    socket->disconnectFromServer();
                    ShowOptions();
                });
            }
        });
    }
    // The socket alone cannot settle two starts at the same moment: both find no one answering
    // and both listen. The lock file can: only one takes it, and a lock whose holder died is
    // taken over.
    if (!lock_) {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        lock_ = std::make_unique<QLockFile>(folder + QChar(u'/') + socketName_ +
                                            QStringLiteral(".lock"));
        lock_->setStaleLockTime(0);  // stale only when its holder is gone
    }
    const bool locked = lock_->isLocked() || lock_->tryLock(0);
    // Listening replaces the socket file, so first ask whether an instance answers on it; a byte
    // sent asks it to show its options. A file left by an instance that crashed answers nobody
    // and is taken over.
    QLocalSocket probe;
    probe.connectToServer(socketName_);
    if (probe.waitForConnected(kAnswerMs)) {
        if (handOver == HandOver::Options) {
            probe.write("o");
            probe.waitForDisconnected(kAnswerMs);
            handedOver_ = true;
        }
        if (locked)
            lock_->unlock();
        return false;
    }
    if (!locked)
        return false;  // the holder is starting: it answers in a moment
    QLocalServer::removeServer(socketName_);
    return server_->listen(socketName_);
}

bool SingleInstance::showOptionsOfRunning() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            busName_, QString::fromLatin1(kObjectPath), QString::fromLatin1(kInterface),
            QStringLiteral("ShowOptions"));
        return bus.call(call, QDBus::Block, kAnswerMs).type() == QDBusMessage::ReplyMessage;
    }
    // claim() has asked already, if anyone answered.
    return handedOver_;
}

void SingleInstance::release() {
    if (busClaimed_) {
        QDBusConnection::sessionBus().interface()->unregisterService(busName_);
        busClaimed_ = false;
    }
    if (server_) {
        server_->close();
    }
    if (lock_) {
        lock_->unlock();
    }
}

void SingleInstance::ShowOptions() {
    emit showOptionsRequested();
}
