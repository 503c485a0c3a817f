#pragma once
// The hidden main window: holds the settings, the one mixer object and the tray icon, turns
// clicks and holds on the icon into volume and mute changes, and ends the program.

#include "DeviceService.h"
#include "MainWindow.h"
#include "Module1.h"
#include "OptionsView.h"
#include "SettingsStore.h"
#include "Sound.h"
#include "SoundPlayer.h"
#include "StepConversion.h"
#include "TrayService.h"
#include "clsVolume.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class frmMain : public QWidget, public TrayWindow, public MainWindow {
    Q_OBJECT

public:
    // The platform services the window and its mixer object work through.
    struct Services {
        MixerService& mixer;
        WaveInService& waveIn;
        Notifier& notifier;
        TrayService& tray;
        SoundPlayer& player;
        SettingsStore& settings;
    };

    // programFolder is the folder of the executable (the default click sound lives there).
    frmMain(Services services, const QString& programFolder, QWidget* parent = nullptr);
    ~frmMain() override;

    // Settings, filled by Initialize. Increment is the step as a fraction of the master range,
    // converted once from the stored percentage.
    double Increment = StepConversion::DefaultFraction;
    QString Sound;
    QString UserIcon;
    QString SoundFile;
    QString IconFile;

    QTimer Timer1;  // times a left press
    QTimer Timer2;  // times a right press

    void Form_Load();
    void Initialize() override;
    void Form_Unload() override;  // removes the tray icon and ends the program

    void Timer1_Timer();
    void Timer2_Timer();

    // folder + "/" + file, never with two slashes in a row ("/Change.wav" at the root).
    static QString joinPath(const QString& folder, const QString& file);

    // TrayWindow: the tray's mouse message on our icon.
    void trayCallback(uint32_t uCallbackMessage, uint32_t mouseMessage) override;
    // Whole clicks, the middle button, the wheel and the menu, from trays that have them.
    void trayCommand(TrayCommand command) override;
    bool trayMuted() const override;
    // Fills the options dialog from the settings and shows it, as a left hold does; for a
    // second start of the program and the tray menu.
    void ShowOptions();

    // MainWindow: what the options dialog asks of this window.
    QIcon icon() const override { return windowIcon(); }
    void removeTrayIcon() override;  // the icon TrayIconData names in its current state
    // The left-button hold fills and shows this dialog; none until one is set.
    void setOptionsView(OptionsView* view) { optionsView_ = view; }
    // What Form_Unload calls last to end the program (QCoreApplication::exit by default).
    void setEndProgram(std::function<void()> end) { endProgram_ = std::move(end); }

    // The mixer changed (a level, a mute, the devices, the default output, the sound system):
    // the controls are looked up again and the icon, its tooltip and the mute block follow the
    // master. Redrawn at once, then at most once per kRedrawMs while changes keep coming.
    void mixerChanged();
    // The microphone whose mute the tooltip tells; none until one is set.
    void setDevices(DeviceService* devices) { devices_ = devices; }
    static constexpr int kRedrawMs = 33;

    // Read by tests.
    clsVolume* volume() const { return Volume.get(); }
    const QString& leftHoldUsed() const { return LeftHoldUsed; }
    const QString& rightHoldUsed() const { return RightHoldUsed; }
    const QString& muteActive() const { return MuteActive; }

private:
    void EndLeftHold();
    void EndRightHold();
    void HandleMouseMessage(int32_t n);
    void Release(QTimer& timer, QString& holdUsed, void (frmMain::*step)());
    void Click(void (frmMain::*step)());
    void SwitchMute(bool byHold);
    void StepUp();
    void StepDown();
    void ClickSound();

    bool LoadSettings();
    bool LoadCustomIcon();
    bool CreateVolume();
    bool SeedMuteActive();
    bool FillTrayIconData();

    // What the icon and its tooltip show of the master.
    struct Shown {
        bool present = false;  // a master volume to show
        int percent = 0;
        bool muted = false;
        bool muteKnown = false;  // the mute was read (a master may have no mute control)
        QString name;
        bool micMuted = false;  // the default input is muted
        bool operator==(const Shown& o) const {
            return present == o.present && percent == o.percent && muted == o.muted &&
                   muteKnown == o.muteKnown && name == o.name && micMuted == o.micMuted;
        }
    };
    void FollowMixer();
    Shown ReadShown();
    void ShowState(const Shown& now);
    void ShowMuted(bool muted);
    QIcon StateIcon(const Shown& state) const;
    static QString StateLine(const Shown& state);

    Services services_;
    QString programFolder_;
    Module1 module1_;
    ::Sound sound_;
    OptionsView* optionsView_ = nullptr;
    DeviceService* devices_ = nullptr;
    std::function<void()> endProgram_;
    bool customIcon_ = false;  // the window's icon is the user's, loaded by Initialize
    Shown shown_;
    QTimer redrawTimer_;
    bool redrawDue_ = false;  // a change came while the timer ran

    std::unique_ptr<clsVolume> Volume;
    QString LeftHoldUsed;
    QString RightHoldUsed;
    QString MuteActive;
};
