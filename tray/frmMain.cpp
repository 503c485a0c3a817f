#include "frmMain.h"

#include "BuiltinIcon.h"
#include "IconFileReader.h"
#include "JoinPath.h"
#include "SettingNames.h"
#include "StepConversion.h"
#include "VolumeIconEngine.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

namespace {

using namespace settingNames;

const QString kYes = QStringLiteral("1");
const QString kNo = QStringLiteral("0");

constexpr int kHoldMs = 500;
constexpr uint32_t kTrayIconDataSize = 88;
constexpr uint32_t kTrayIconId = 1;
const char kTip[] = "Brennet";

// Initialize goes on with its next step when one fails, whatever the failure.
template <typename Step>
void skipOnFailure(Step step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

frmMain::frmMain(Services services, const QString& programFolder, QWidget* parent)
    : QWidget(parent),
      services_(services),
      programFolder_(programFolder),
      module1_(services.tray),
      sound_(services.player),
      endProgram_([] { QCoreApplication::exit(0); }) {
    setWindowTitle(QStringLiteral("Brennet"));
    setWindowIcon(BuiltinIcon::icon());
    // A tick handler stops its own timer, so a hold gives one action.
    Timer1.setInterval(kHoldMs);
    Timer2.setInterval(kHoldMs);
    Timer1.setSingleShot(true);
    Timer2.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &frmMain::Timer2_Timer);
    redrawTimer_.setInterval(kRedrawMs);
    redrawTimer_.setSingleShot(true);
    connect(&redrawTimer_, &QTimer::timeout, this, [this] {
        if (redrawDue_) {
            redrawDue_ = false;
            FollowMixer();
            redrawTimer_.start();
        }
    });
}

frmMain::~frmMain() = default;

void frmMain::Form_Load() {
    Initialize();
}

void frmMain::Initialize() {
    skipOnFailure([this] { LoadSettings(); });
    skipOnFailure([this] { LoadCustomIcon(); });
    skipOnFailure([this] { hide(); });
    skipOnFailure([this] { CreateVolume(); });
    skipOnFailure([this] { SeedMuteActive(); });
    skipOnFailure([this] { shown_ = ReadShown(); });
    skipOnFailure([this] {
        Timer1.stop();
        Timer2.stop();
    });
    skipOnFailure([this] { FillTrayIconData(); });
    skipOnFailure([this] { module1_.Shell_NotifyIconA(NIM_ADD, module1_.TrayIconData); });
}

bool frmMain::LoadSettings() {
    SettingsStore& store = services_.settings;
    // A stored text that cannot serve as a step gives the default step; the store keeps it.
    Increment = StepConversion::percentToFraction(
        store.rtcGetSetting(kApplication, kSection, kStep, QStringLiteral("10")));
    Sound = store.rtcGetSetting(kApplication, kSection, kSound, kYes);
    UserIcon = store.rtcGetSetting(kApplication, kSection, kUserIcon, kNo);
    SoundFile = store.rtcGetSetting(kApplication, kSection, kSoundFile,
                                    joinPath(programFolder_, QStringLiteral("Change.wav")));
    IconFile = store.rtcGetSetting(kApplication, kSection, kIconFile);
    return true;
}

// A file that is not a usable icon keeps the window's icon.
bool frmMain::LoadCustomIcon() {
    if (IconFile.isEmpty() || UserIcon != kYes) {
        return false;
    }
    const QIcon icon = IconFileReader::read(IconFile);
    if (icon.isNull()) {
        return false;
    }
    setWindowIcon(icon);
    customIcon_ = true;
    return true;
}

bool frmMain::CreateVolume() {
    if (!Volume) {
        Volume = std::make_unique<clsVolume>(services_.mixer, services_.waveIn, services_.notifier);
    }
    return true;
}

// A master muted at start blocks the clicks until a right hold unmutes it. A master that
// reads unmuted leaves the flag as it was.
bool frmMain::SeedMuteActive() {
    if (Volume && Volume->VolumeMute() == VB_TRUE) {
        MuteActive = kYes;
    }
    return true;
}

bool frmMain::FillTrayIconData() {
    NOTIFYICONDATA& data = module1_.TrayIconData;
    data.cbSize = kTrayIconDataSize;
    data.hWnd = this;
    data.uID = kTrayIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_MOUSEMOVE;
    data.hIcon = StateIcon(shown_);
    // "Brennet", one NUL, then blanks to the end of the field.
    std::memset(data.szTip, ' ', sizeof data.szTip);
    std::memcpy(data.szTip, kTip, sizeof kTip);
    data.tipLine = StateLine(shown_);
    return true;
}

void frmMain::mixerChanged() {
    if (redrawTimer_.isActive()) {
        redrawDue_ = true;
        return;
    }
    FollowMixer();
    redrawTimer_.start();
}

// The devices behind the controls may have changed: the step must use the range of the device
// controlled now. A master unmuted by anyone lifts the mute block; a mute set elsewhere leaves
// the block alone, so clicks go on stepping the muted level.
void frmMain::FollowMixer() {
    if (!Volume) {
        return;
    }
    Volume->findControlsAgain();
    const Shown now = ReadShown();
    if (MuteActive == kYes && now.muteKnown && !now.muted) {
        MuteActive = kNo;
    }
    ShowState(now);
}

// A master is shown when its volume control is there and its level could be read. A failed
// mute read says nothing about the mute (it reads False): muteKnown tells it apart.
frmMain::Shown frmMain::ReadShown() {
    Shown state;
    state.micMuted = devices_ && devices_->hasMicrophone() && devices_->microphoneMuted();
    if (!Volume) {
        return state;
    }
    const int32_t min = Volume->VolumeMin();
    const int32_t max = Volume->VolumeMax();
    const int32_t level = Volume->VolumeLevel();
    state.present = max > min && Volume->LastResult() == 0;
    if (!state.present) {
        return state;
    }
    const double share = (static_cast<double>(level) - min) / (static_cast<double>(max) - min);
    // Above full volume (another program may set 150 %) the tooltip says so, as mixers do.
    state.percent = static_cast<int>(std::lround(std::max(share, 0.0) * 100));
    state.name = QString::fromUtf8(Volume->masterName().c_str());
    state.muted = Volume->VolumeMute() == VB_TRUE;
    state.muteKnown = Volume->LastResult() == 0;
    return state;
}

// Changes the shown icon in place: the picture only when it looks different, the tooltip only
// when its text changed.
void frmMain::ShowState(const Shown& now) {
    if (now == shown_) {
        return;
    }
    const bool picture = now.muted != shown_.muted ||
                         (!customIcon_ && VolumeIconEngine::levelOf(now.percent) !=
                                              VolumeIconEngine::levelOf(shown_.percent));
    const bool tip = StateLine(now) != StateLine(shown_);
    shown_ = now;
    NOTIFYICONDATA& data = module1_.TrayIconData;
    if (data.hWnd == nullptr || !(picture || tip)) {
        return;  // no icon added yet: Initialize shows the state when it adds one
    }
    data.hIcon = StateIcon(shown_);
    data.tipLine = StateLine(shown_);
    NOTIFYICONDATA change = data;
    change.uFlags = (picture ? NIF_ICON : 0) | (tip ? NIF_TIP : 0);
    module1_.Shell_NotifyIconA(NIM_MODIFY, change);
}

QIcon frmMain::StateIcon(const Shown& state) const {
    using Level = VolumeIconEngine::Level;
    if (customIcon_) {
        return QIcon(new VolumeIconEngine(Level::High, state.muted, windowIcon()));
    }
    return QIcon(new VolumeIconEngine(VolumeIconEngine::levelOf(state.percent), state.muted));
}

// "45% · Speakers", or "静音 · Speakers" while muted; nothing without a master volume. While
// the microphone is muted, "麦克风静音" follows on a line of its own.
QString frmMain::StateLine(const Shown& state) {
    QString line;
    if (state.present) {
        const QString value =
            state.muted ? QStringLiteral("静音") : QStringLiteral("%1%").arg(state.percent);
        line = state.name.isEmpty() ? value : value + QStringLiteral(" · ") + state.name;
    }
    if (state.micMuted) {
        line += (line.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("麦克风静音");
    }
    return line;
}

void frmMain::Form_Unload() {
    // The record names this window's icon again, whatever it holds by now.
    FillTrayIconData();
    module1_.Shell_NotifyIconA(NIM_DELETE, module1_.TrayIconData);
    if (endProgram_) {
        endProgram_();
    }
}

void frmMain::removeTrayIcon() {
    module1_.Shell_NotifyIconA(NIM_DELETE, module1_.TrayIconData);
}

// The tray hands over the mouse message number itself; nothing to convert.
void frmMain::trayCallback(uint32_t uCallbackMessage, uint32_t mouseMessage) {
    if (uCallbackMessage != WM_MOUSEMOVE) {
        return;
    }
    HandleMouseMessage(static_cast<int32_t>(mouseMessage));
}

void frmMain::trayCommand(TrayCommand command) {
    switch (command) {
        case TrayCommand::StepUp:
            Click(&frmMain::StepUp);
            break;
        case TrayCommand::StepDown:
            Click(&frmMain::StepDown);
            break;
        case TrayCommand::SwitchMute:
            SwitchMute(false);
            break;
        case TrayCommand::ShowOptions:
            ShowOptions();
            break;
        case TrayCommand::Quit:
            Form_Unload();
            break;
    }
}

bool frmMain::trayMuted() const {
    return shown_.muted;
}

void frmMain::HandleMouseMessage(int32_t n) {
    switch (n) {
        case WM_LBUTTONDOWN:
            if (!Timer1.isActive()) {
                Timer1.start();
            }
            break;
        case WM_LBUTTONUP:
            Release(Timer1, LeftHoldUsed, &frmMain::StepUp);
            break;
        case WM_RBUTTONDOWN:
            if (!Timer2.isActive()) {
                Timer2.start();
            }
            break;
        case WM_RBUTTONUP:
            Release(Timer2, RightHoldUsed, &frmMain::StepDown);
            break;
        default:  // movement, double clicks, the middle button
            break;
    }
}

// A release before the timer ticked is a click. While muted, or right after a hold, it makes
// no step and no sound.
void frmMain::Release(QTimer& timer, QString& holdUsed, void (frmMain::*step)()) {
    timer.stop();
    if (MuteActive == kYes) {
        return;
    }
    if (holdUsed == kYes) {
        holdUsed = kNo;
        return;
    }
    Click(step);
}

// A whole click from a tray that reports no press and release: the mute blocks it as it blocks
// a release, but it follows no hold, so the hold flags are left for the release they belong to.
void frmMain::Click(void (frmMain::*step)()) {
    if (MuteActive == kYes) {
        return;
    }
    (this->*step)();
    ClickSound();
}

// One step up from the mixer's current level. Nothing caps it at the top: a level less than a
// step below the maximum goes past it, and the mixer clamps it. A level that another program
// set above the maximum stays where it is.
void frmMain::StepUp() {
    if (!Volume) {
        return;
    }
    const int32_t level = Volume->VolumeLevel();
    const int32_t max = Volume->VolumeMax();
    if (level >= max) {
        return;
    }
    const double product = Increment * Volume->VolumeMax();
    const double raised = product + Volume->VolumeLevel();
    Volume->VolumeLevel(StepConversion::roundToLevel(raised));
}

// One step down, with 0 as the bottom. A level less than a step above 0 goes to 0, so the
// volume can always be clicked down to silence; at 0 nothing is written. A level that another
// program set above the maximum comes down to the maximum first, never past it in one click.
void frmMain::StepDown() {
    if (!Volume) {
        return;
    }
    const int32_t max = Volume->VolumeMax();
    const int32_t level = Volume->VolumeLevel();
    if (level > max) {
        Volume->VolumeLevel(max);
        return;
    }
    const double d = level - Increment * max;
    if (!(d > 0)) {
        if (level > 0) {
            Volume->VolumeLevel(0);
        }
        return;
    }
    const double product = Increment * Volume->VolumeMax();
    const double lowered = Volume->VolumeLevel() - product;
    Volume->VolumeLevel(std::max(StepConversion::roundToLevel(lowered), 0));
}

void frmMain::ClickSound() {
    if (Sound == kYes) {
        sound_.sndPlaySoundA(QFile::encodeName(SoundFile).toStdString(), SND_ASYNC);
    }
}

// Left hold: fill the options dialog from the settings and show it modeless.
void frmMain::Timer1_Timer() {
    ShowOptions();
    EndLeftHold();
}

void frmMain::ShowOptions() {
    if (optionsView_) {
        optionsView_->setStepText(StepConversion::fractionToPercent(Increment));
        if (UserIcon == kYes) {
            optionsView_->checkIcon();
        }
        if (Sound == kYes) {
            optionsView_->checkSound();
        }
        optionsView_->showModeless();
    }
}

// Right hold: switch the master mute as the mixer reports it, not as the flag says.
void frmMain::Timer2_Timer() {
    SwitchMute(true);
    EndRightHold();
}

// After a hold unmutes, its own right release must not step; a middle click or a menu entry is
// followed by no right release, so it leaves RightHoldUsed alone.
void frmMain::SwitchMute(bool byHold) {
    if (!Volume) {
        // No mixer object yet (Initialize has not run): nothing to switch.
    } else if (Volume->VolumeMute() == VB_FALSE) {
        // Blocks the clicks only when the mute took: a master without a mute control, or a
        // sound system that is gone, must not leave the clicks dead.
        Volume->VolumeMute(VB_TRUE);
        if (Volume->VolumeMute() == VB_TRUE) {
            MuteActive = kYes;
            ShowMuted(true);
        } else if (byHold) {
            RightHoldUsed = kYes;  // the hold's own release must not step instead
        }
    } else if (Volume->VolumeMute() == VB_TRUE) {
        Volume->VolumeMute(VB_FALSE);
        MuteActive = kNo;
        if (byHold) {
            RightHoldUsed = kYes;
        }
        if (Volume->LastResult() == 0) {
            ShowMuted(false);
        }
    }
}

// The icon and the menu follow a switch at once, before the mixer's own report arrives.
void frmMain::ShowMuted(bool muted) {
    if (shown_.present) {
        Shown now = shown_;
        now.muted = muted;
        ShowState(now);
    }
}

void frmMain::EndLeftHold() {
    Timer1.stop();
    LeftHoldUsed = kYes;
}

void frmMain::EndRightHold() {
    Timer2.stop();
}
