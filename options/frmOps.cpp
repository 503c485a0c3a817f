#include "frmOps.h"

#include "FileChooser.h"
#include "Forms.h"
#include "Notifier.h"
#include "NulText.h"
#include "ProcessControl.h"
#include "SettingNames.h"
#include "SettingsStore.h"
#include "Twips.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

using forms::button;
using forms::place;
using forms::withNuls;
using namespace settingNames;

}  // namespace

struct frmOps::Window {
    QDialog* dialog = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QCheckBox* Check2 = nullptr;
    QPushButton* Command1 = nullptr;
    QLabel* lblIcon = nullptr;
    QCheckBox* Check1 = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* lblSound = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command3 = nullptr;
};

QString frmOps::IconAction() {
    return withNuls("图标", 2);
}

QString frmOps::SoundAction() {
    return withNuls("声音", 3);
}

frmOps::frmOps(MainWindow& main, SettingsStore& settings, Notifier& notifier,
               ProcessControl& process)
    : main_(main), settings_(settings), notifier_(notifier), process_(process), window_([this] {
          return load();
      }) {}

frmOps::~frmOps() = default;

// Creates the window with every control in its design state.
std::unique_ptr<frmOps::Window> frmOps::load() {
    auto w = std::make_unique<Window>();
    QDialog* d = forms::newDialog("frmOps", 4650, 3705);
    w->dialog = d;
    d->setWindowTitle(QString::fromUtf8("[Brennet] - [设置]"));
    d->setWindowIcon(main_.icon());

    w->Frame1 = place(new QGroupBox(QString::fromUtf8("控制选项"), d), "Frame1",
                      twips::rect(120, 360, 4455, 855));
    w->Label1 = place(new QLabel(QString::fromUtf8("增加/减小音量的幅度:"), w->Frame1), "Label1",
                      twips::rect(120, 360, 3135, 255));
    w->Text1 = place(new QLineEdit(QStringLiteral("10"), w->Frame1), "Text1",
                     twips::rect(3240, 360, 375, 285));
    w->Label2 = place(new QLabel(QStringLiteral("%"), w->Frame1), "Label2",
                      twips::rect(3720, 360, 135, 255));
    w->Label1->setBuddy(w->Text1);

    w->Frame2 = place(new QGroupBox(QString::fromUtf8("程序设置"), d), "Frame2",
                      twips::rect(120, 1440, 4455, 1575));
    w->Check2 = place(new QCheckBox(QString::fromUtf8("在系统托盘使用定制图标..."), w->Frame2),
                      "Check2", twips::rect(120, 360, 2775, 255));
    w->Command1 = button(w->Frame2, "Command1", "浏览...", twips::rect(3360, 360, 975, 255));
    const QString newFile = withNuls("新文件", 2);
    w->lblIcon = place(new QLabel(upToFirstNul(newFile), w->Frame2), "lblIcon",
                       twips::rect(3360, 600, 975, 255));
    w->lblIcon->setProperty("caption", newFile);
    w->lblIcon->setVisible(false);
    w->Check1 = place(new QCheckBox(QString::fromUtf8("在改变音量时播放声音..."), w->Frame2),
                      "Check1", twips::rect(120, 960, 2775, 255));
    w->Command2 = button(w->Frame2, "Command2", "浏览...", twips::rect(3360, 960, 975, 255));
    w->lblSound = place(new QLabel(upToFirstNul(newFile), w->Frame2), "lblSound",
                        twips::rect(3360, 1200, 975, 255));
    w->lblSound->setProperty("caption", newFile);
    w->lblSound->setVisible(false);

    w->Command5 = button(d, "Command5", "解除", twips::rect(120, 3240, 1215, 375));
    w->Command4 = button(d, "Command4", "取消", twips::rect(1440, 3240, 1095, 375));
    w->Command3 = button(d, "Command3", "应用 (重起程序)", twips::rect(2640, 3240, 1935, 375));
    w->Command3->setEnabled(false);

    // Keyboard focus order; the labels and frames take no focus.
    QWidget::setTabOrder(w->Text1, w->Check1);
    QWidget::setTabOrder(w->Check1, w->Command1);
    QWidget::setTabOrder(w->Command1, w->Check2);
    QWidget::setTabOrder(w->Check2, w->Command2);
    QWidget::setTabOrder(w->Command2, w->Command3);
    QWidget::setTabOrder(w->Command3, w->Command4);
    QWidget::setTabOrder(w->Command4, w->Command5);
    w->Text1->setFocus();

    // Any change of the step or the flags, by the user or by code, makes Apply available.
    // textChanged fires only when the text really differs.
    QObject::connect(w->Check1, &QCheckBox::toggled, d, [this] { enableApply(); });
    QObject::connect(w->Check2, &QCheckBox::toggled, d, [this] { enableApply(); });
    QObject::connect(w->Text1, &QLineEdit::textChanged, d, [this] { enableApply(); });

    QObject::connect(w->Command1, &QPushButton::clicked, d, [this] { Command1_Click(); });
    QObject::connect(w->Command2, &QPushButton::clicked, d, [this] { Command2_Click(); });
    QObject::connect(w->Command3, &QPushButton::clicked, d, [this] { Command3_Click(); });
    QObject::connect(w->Command4, &QPushButton::clicked, d, [this] { Command4_Click(); });
    QObject::connect(w->Command5, &QPushButton::clicked, d, [this] { Command5_Click(); });
    return w;
}

void frmOps::enableApply() {
    if (Window* w = window_.loaded()) {
        w->Command3->setEnabled(true);
    }
}

QDialog* frmOps::form() {
    return window_.get().dialog;
}
QGroupBox* frmOps::Frame1() {
    return window_.get().Frame1;
}
QLabel* frmOps::Label1() {
    return window_.get().Label1;
}
QLineEdit* frmOps::Text1() {
    return window_.get().Text1;
}
QLabel* frmOps::Label2() {
    return window_.get().Label2;
}
QGroupBox* frmOps::Frame2() {
    return window_.get().Frame2;
}
QCheckBox* frmOps::Check2() {
    return window_.get().Check2;
}
QPushButton* frmOps::Command1() {
    return window_.get().Command1;
}
QLabel* frmOps::lblIcon() {
    return window_.get().lblIcon;
}
QCheckBox* frmOps::Check1() {
    return window_.get().Check1;
}
QPushButton* frmOps::Command2() {
    return window_.get().Command2;
}
QLabel* frmOps::lblSound() {
    return window_.get().lblSound;
}
QPushButton* frmOps::Command5() {
    return window_.get().Command5;
}
QPushButton* frmOps::Command4() {
    return window_.get().Command4;
}
QPushButton* frmOps::Command3() {
    return window_.get().Command3;
}

void frmOps::setStepText(const QString& text) {
    // Setting the text the box already holds is not a change.
    if (Text1()->text() != text) {
        Text1()->setText(text);
    }
}

void frmOps::checkSound() {
    Check1()->setChecked(true);
}

void frmOps::checkIcon() {
    Check2()->setChecked(true);
}

void frmOps::showModeless() {
    QDialog* d = form();
    d->setWindowIcon(main_.icon());
    forms::bringForward(d);
}

void frmOps::Command1_Click() {
    Action = IconAction();
    if (chooser_) {
        chooser_->showModeless();
    }
}

void frmOps::Command2_Click() {
    Action = SoundAction();
    if (chooser_) {
        chooser_->showModeless();
    }
}

// Writes the values in one go; when they do not reach the disk, returns the message that says
// so. The file then stays as it was.
bool frmOps::save(const SettingsStore::Values& values, QString* failure) {
    if (settings_.saveSettings(kApplication, kSection, values)) {
        return true;
    }
    *failure = QString::fromUtf8("无法保存设置。\n文件：%1\n原因：%2\n\n程序没有重新启动。")
                   .arg(settings_.fileName(kApplication), settings_.lastError());
    return false;
}

void frmOps::report(const QString& message) {
    notifier_.MsgBox(message.toStdString(), MB_OK | MB_ICONEXCLAMATION, "Brennet");
}

// Saves the settings, then starts a fresh instance of the program and ends this one. A save
// that fails, or a new instance that cannot start, is reported and this instance keeps running.
void frmOps::Command3_Click() {
    const QString yes = QStringLiteral("1");
    const QString no = QStringLiteral("0");
    SettingsStore::Values values = {{kStep, Text1()->text()},
                                    {kSound, Check1()->isChecked() ? yes : no},
                                    {kUserIcon, Check2()->isChecked() ? yes : no}};
    if (!IconName.isEmpty()) {
        values.append({kIconFile, IconName});
    }
    if (!SoundName.isEmpty()) {
        values.append({kSoundFile, SoundName});
    }
    QString failure;
    if (!save(values, &failure)) {
        report(failure);
        return;
    }
    if (!IconName.isEmpty() || !SoundName.isEmpty()) {
        if (!IconName.isEmpty()) {
            main_.removeTrayIcon();
        }
        main_.Initialize();
    }

    const QString program = process_.applicationFilePath();
    QString error;
    if (!process_.startDetached(program, &error)) {
        const QString prompt =
            QString::fromUtf8("设置已保存，但无法重新启动程序。\n程序：%1\n原因：%2")
                .arg(program, error);
        report(prompt);
        return;
    }
    process_.exitNow();
}

// Touching the labels and Apply loads the window (hidden) when it was closed meanwhile, so the
// next showing carries the marks.
bool frmOps::FilePicked(const QString& path) {
    if (Action == IconAction()) {
        lblIcon()->setVisible(true);
        IconName = path;
    } else if (Action == SoundAction()) {
        lblSound()->setVisible(true);
        SoundName = path;
    } else {
        return false;
    }
    Command3()->setEnabled(true);
    return true;
}

// Cancel: the window goes, the picks stay.
void frmOps::Command4_Click() {
    window_.unload();
}

void frmOps::Command5_Click() {
    main_.Form_Unload();
}

QDialog* frmOps::loadedForm() const {
    return window_.loadedDialog();
}
