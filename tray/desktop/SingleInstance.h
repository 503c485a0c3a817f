#pragma once
// One Brennet per user and display. The first instance owns a name on the session bus (a local
// socket where there is no bus); a later start asks it to open its options dialog and ends.

#include <QObject>
#include <QString>

class QLocalServer;

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
};
