#pragma once
// One Brennet per user and display. The first instance owns a name on the session bus (where
// there is no bus, a lock file in the runtime folder and a local socket beside it); a later start
// asks it to open its options dialog and ends.

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.brennet.Brennet")

public:
    SingleInstance();
    ~SingleInstance() override;

    enum class HandOver { Options, Nothing };
    // Takes the claim; false while another instance holds it. Where no session bus runs, finding
    // that instance hands it the start: it opens its options unless handOver is Nothing.
    bool claim(HandOver handOver = HandOver::Options);
    // Asks the instance that holds the claim to open its options dialog; false when none
    // answered.
    bool showOptionsOfRunning();
    // Gives the claim up, so that a new instance started now can take it.
    void release();

public slots:
    // Called by a later start of the program.
    Q_SCRIPTABLE void ShowOptions();

signals:
    void showOptionsRequested();

private:
    QString busName_;
    QString socketName_;
    bool busClaimed_ = false;
    bool handedOver_ = false;
    QLocalServer* server_ = nullptr;
    std::unique_ptr<QLockFile> lock_;
};
