// The options dialog over fakes of the tray, mixer and process, with the real settings store on
// a temporary folder and the real main window.

#include "FakeMixer.h"
#include "FakeNotifier.h"
#include "FakeProcessControl.h"
#include "FakeSoundPlayer.h"
#include "FakeTray.h"
#include "FakeWaveIn.h"
#include "FileChooser.h"
#include "SettingsStore.h"
#include "frmMain.h"
#include "frmOps.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kApp = QStringLiteral("Brennet");
const QString kSection = QStringLiteral(u"设置");
const QString kStep = QStringLiteral(u"增加       ");
const QString kSound = QStringLiteral(u"声音");

struct FakeChooser : FileChooser {
    void showModeless() override { ++shown; }
    int shown = 0;
};

// The program as main.cpp wires it, over fakes.
struct Program {
    explicit Program(const QString& configHome) : settings(configHome) {
        mixer.addMaster(0, 255);
        main = std::make_unique<frmMain>(
            frmMain::Services{mixer, waveIn, notifier, tray, player, settings},
            QStringLiteral("/opt/brennet"));
        main->setEndProgram([this] { ++ended; });
        ops = std::make_unique<frmOps>(*main, settings, notifier, process);
        ops->setChooser(&chooser);
        main->setOptionsView(ops.get());
    }
    ~Program() {
        ops.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QString stored(const QString& key) const { return settings.rtcGetSetting(kApp, kSection, key); }

    FakeMixer mixer;
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    FakeTray tray;
    FakeSoundPlayer player;
    SettingsStore settings;
    FakeProcessControl process;
    FakeChooser chooser;
    std::unique_ptr<frmMain> main;
    std::unique_ptr<frmOps> ops;
    int ended = 0;
};

void clickIndicator(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

void typeText(QWidget* widget, const QString& text) {
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text, Qt::NoModifier);
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class frmOpsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowLayout_data();
    void windowLayout();
    void windowFrameFocusAndTabOrder();
    void enableRule();
    void enableRuleFromTheTrayHold();
    void browseSetsExactActionAndShowsChooser();
    void apply_data();
    void apply();
    void applyStoresTheStepAsTyped();
    void pickSurvivesCancel();
    void failingWriteKeepsRunning();
    void failingRestartKeepsRunning();
    void quitUnloadsTheMainWindow();

private:
    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<Program> p_;
};

void frmOpsTest::init() {
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
    p_ = std::make_unique<Program>(home_->path());
    p_->main->Initialize();
}

void frmOpsTest::cleanup() {
    p_.reset();
    home_.reset();
}

void frmOpsTest::windowLayout_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("enabled");

    auto row = [](const char* name, const char* kind, const char* parent, const char* caption,
                  QRect twips, bool shown = true, bool enabled = true) {
        QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(parent)
                            << QString::fromUtf8(caption) << twips << shown << enabled;
    };
    row("Frame1", "QGroupBox", "frmOps", "控制选项", {120, 360, 4455, 855});
    row("Label1", "QLabel", "Frame1", "增加/减小音量的幅度:", {120, 360, 3135, 255});
    row("Text1", "QLineEdit", "Frame1", "10", {3240, 360, 375, 285});
    row("Label2", "QLabel", "Frame1", "%", {3720, 360, 135, 255});
    row("Frame2", "QGroupBox", "frmOps", "程序设置", {120, 1440, 4455, 1575});
    row("Check2", "QCheckBox", "Frame2", "在系统托盘使用定制图标...", {120, 360, 2775, 255});
    row("Command1", "QPushButton", "Frame2", "浏览...", {3360, 360, 975, 255});
    row("lblIcon", "QLabel", "Frame2", "新文件", {3360, 600, 975, 255}, false);
    row("Check1", "QCheckBox", "Frame2", "在改变音量时播放声音...", {120, 960, 2775, 255});
    row("Command2", "QPushButton", "Frame2", "浏览...", {3360, 960, 975, 255});
    row("lblSound", "QLabel", "Frame2", "新文件", {3360, 1200, 975, 255}, false);
    row("Command5", "QPushButton", "frmOps", "解除", {120, 3240, 1215, 375});
    row("Command4", "QPushButton", "frmOps", "取消", {1440, 3240, 1095, 375});
    row("Command3", "QPushButton", "frmOps", "应用 (重起程序)", {2640, 3240, 1935, 375}, true,
        false);
}

// Every control at its place (15 twips a pixel), with its caption and design state.
void frmOpsTest::windowLayout() {
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(bool, shown);
    QFETCH(bool, enabled);

    QDialog* form = p_->ops->form();
    QWidget* w = form->findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w);
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(w->geometry(), pixels);
    QCOMPARE(!w->isHidden(), shown);
    QCOMPARE(w->isEnabled(), enabled);

    QString text;
    if (auto* box = qobject_cast<QGroupBox*>(w)) {
        text = box->title();
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        text = label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        text = button->text();
        if (auto* check = qobject_cast<QCheckBox*>(w)) {
            QVERIFY(!check->isChecked());
        }
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        text = edit->text();
    }
    QCOMPARE(text, caption);
    // The "new file" captions keep their two NULs; only the text before them shows.
    if (w->objectName().startsWith(QStringLiteral("lbl"))) {
        QCOMPARE(w->property("caption").toString(), caption + QString(2, QChar(u'\0')));
    }
}

void frmOpsTest::windowFrameFocusAndTabOrder() {
    QVERIFY(!p_->ops->loadedForm());  // nothing until first use
    p_->ops->showModeless();
    QDialog* form = p_->ops->loadedForm();
    QVERIFY(form);
    QCOMPARE(form->windowTitle(), QStringLiteral(u"[Brennet] - [设置]"));
    QCOMPARE(form->size(), QSize(310, 247));
    QVERIFY(!form->isModal());
    QCOMPARE(form->windowIcon().cacheKey(), p_->main->windowIcon().cacheKey());
    QVERIFY(QTest::qWaitForWindowActive(form));
    QCOMPARE(QApplication::focusWidget(), p_->ops->Text1());

    QStringList order;
    QWidget* w = p_->ops->Text1();
    do {
        if (w->focusPolicy() & Qt::TabFocus) {
            order << w->objectName();
        }
        w = w->nextInFocusChain();
    } while (w != p_->ops->Text1() && order.size() < 20);
    QCOMPARE(order, QStringList({"Text1", "Check1", "Command1", "Check2", "Command2", "Command3",
                                 "Command4", "Command5"}));
}

void frmOpsTest::enableRule() {
    frmOps& ops = *p_->ops;
    // Writing the text the box already holds is no change.
    ops.setStepText(QStringLiteral("10"));
    QVERIFY(!ops.Command3()->isEnabled());

    // A change of the step by code.
    ops.setStepText(QStringLiteral("12,5"));
    QVERIFY(ops.Command3()->isEnabled());

    // Ticking a box by code, on a fresh window.
    ops.Command4_Click();
    flushDeletes();
    QVERIFY(!ops.Command3()->isEnabled());
    ops.checkSound();
    QVERIFY(ops.Check1()->isChecked());
    QVERIFY(ops.Command3()->isEnabled());

    // The user's click on each check box, at its indicator; nothing disables Apply again.
    for (auto check : {&frmOps::Check1, &frmOps::Check2}) {
        ops.Command4_Click();
        flushDeletes();
        ops.showModeless();
        QVERIFY(QTest::qWaitForWindowExposed(ops.form()));
        QVERIFY(!ops.Command3()->isEnabled());
        QCheckBox* box = (ops.*check)();
        clickIndicator(box);
        QVERIFY(box->isChecked());
        QVERIFY(ops.Command3()->isEnabled());
        clickIndicator(box);
        QVERIFY(!box->isChecked());
        QVERIFY(ops.Command3()->isEnabled());
    }

    // The user typing CJK text into the step box.
    ops.Command4_Click();
    flushDeletes();
    ops.showModeless();
    QVERIFY(QTest::qWaitForWindowActive(ops.form()));
    ops.Text1()->selectAll();
    typeText(ops.Text1(), QStringLiteral(u"十五"));
    QCOMPARE(ops.Text1()->text(), QStringLiteral(u"十五"));
    QVERIFY(ops.Command3()->isEnabled());
}

// The left hold fills the dialog from the settings: only the plain defaults leave Apply off.
void frmOpsTest::enableRuleFromTheTrayHold() {
    struct Case {
        const char* step;
        const char* sound;
        const char* icon;
        bool enabled;
    };
    const Case cases[] = {
        {"10", "0", "0", false},
        {"15", "0", "0", true},
        {"10", "1", "0", true},
        {"10", "0", "1", true},
    };
    for (const Case& c : cases) {
        p_->settings.rtcSaveSetting(kApp, kSection, kStep, QString::fromLatin1(c.step));
        p_->settings.rtcSaveSetting(kApp, kSection, kSound, QString::fromLatin1(c.sound));
        p_->settings.rtcSaveSetting(kApp, kSection, QStringLiteral("UserIcon"),
                                    QString::fromLatin1(c.icon));
        p_->main->Initialize();
        p_->main->Timer1_Timer();
        QDialog* form = p_->ops->loadedForm();
        QVERIFY(form && form->isVisible());
        QCOMPARE(p_->ops->Text1()->text(), QString::fromLatin1(c.step));
        QCOMPARE(p_->ops->Check1()->isChecked(), c.sound[0] == '1');
        QCOMPARE(p_->ops->Check2()->isChecked(), c.icon[0] == '1');
        QCOMPARE(p_->ops->Command3()->isEnabled(), c.enabled);
        p_->ops->Command4_Click();
        flushDeletes();
        QVERIFY(!p_->ops->loadedForm());
    }
}

void frmOpsTest::browseSetsExactActionAndShowsChooser() {
    frmOps& ops = *p_->ops;
    QCOMPARE(frmOps::IconAction().size(), 4);
    QCOMPARE(frmOps::SoundAction().size(), 5);
    QTest::mouseClick(ops.Command1(), Qt::LeftButton);
    QCOMPARE(ops.Action, QStringLiteral(u"图标") + QString(2, QChar(u'\0')));
    QCOMPARE(p_->chooser.shown, 1);
    QTest::mouseClick(ops.Command2(), Qt::LeftButton);
    QCOMPARE(ops.Action, QStringLiteral(u"声音") + QString(3, QChar(u'\0')));
    QCOMPARE(p_->chooser.shown, 2);
    // Compared over the whole length: the bare word is neither value.
    QVERIFY(QStringLiteral(u"声音") != frmOps::SoundAction());
}

void frmOpsTest::apply_data() {
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("sound");
    QTest::newRow("no file") << QString() << QString();
    QTest::newRow("icon only") << QStringLiteral("/pics/a b.ico") << QString();
    QTest::newRow("sound only") << QString() << QStringLiteral(u"/声音/c.wav");
    QTest::newRow("both") << QStringLiteral("/pics/a.ico") << QStringLiteral("/snd/c.wav");
}

// The writes, the tray removal, Initialize and the restart for each combination of picks.
void frmOpsTest::apply() {
    QFETCH(QString, icon);
    QFETCH(QString, sound);
    Program& p = *p_;
    p.settings.rtcSaveSetting(kApp, kSection, QStringLiteral("IconFile"),
                              QStringLiteral("/old.ico"));
    p.settings.rtcSaveSetting(kApp, kSection, QStringLiteral("SoundFile"),
                              QStringLiteral("/old.wav"));
    p.main->Timer1_Timer();  // filled from the defaults: step 10, sound ticked
    p.ops->IconName = icon;
    p.ops->SoundName = sound;
    p.ops->setStepText(QStringLiteral("7"));
    QTest::mouseClick(p.ops->Check1(), Qt::LeftButton);  // sound off
    p.tray.clearCalls();
    QVERIFY(p.tray.isShown(p.main.get(), 1));

    QTest::mouseClick(p.ops->Command3(), Qt::LeftButton);

    QCOMPARE(p.stored(kStep), QStringLiteral("7"));
    QCOMPARE(p.stored(kSound), QStringLiteral("0"));
    QCOMPARE(p.stored(QStringLiteral("UserIcon")), QStringLiteral("0"));
    QCOMPARE(p.stored(QStringLiteral("IconFile")),
             icon.isEmpty() ? QStringLiteral("/old.ico") : icon);
    QCOMPARE(p.stored(QStringLiteral("SoundFile")),
             sound.isEmpty() ? QStringLiteral("/old.wav") : sound);

    const bool picked = !icon.isEmpty() || !sound.isEmpty();
    QCOMPARE(p.tray.count(NIM_DELETE), icon.isEmpty() ? 0 : 1);
    QCOMPARE(p.tray.count(NIM_ADD), picked ? 1 : 0);  // Initialize ran again
    if (picked) {
        QCOMPARE(p.main->Increment, QStringLiteral("0.07"));
        QCOMPARE(p.main->SoundFile, sound.isEmpty() ? QStringLiteral("/old.wav") : sound);
        QVERIFY(p.tray.calls().back().sequence < p.process.startSequence);
    }
    QVERIFY(p.tray.isShown(p.main.get(), 1));
    QCOMPARE(p.process.started, QStringList{QStringLiteral("/opt/brennet/brennet")});
    QCOMPARE(p.process.exits, 1);
    QVERIFY(p.process.startSequence < p.process.exitSequence);
    QCOMPARE(p.notifier.count(), 0);
    QCOMPARE(p.ended, 0);  // Apply ends by exiting, not by unloading the main window
}

// The step is stored as typed, whatever it holds.
void frmOpsTest::applyStoresTheStepAsTyped() {
    for (const QString& step : {QString(), QStringLiteral("abc"), QStringLiteral(u"十五")}) {
        p_->ops->Text1()->setText(step);
        p_->ops->Command3_Click();
        QCOMPARE(p_->stored(kStep), step);
    }
    QCOMPARE(p_->process.exits, 3);
}

void frmOpsTest::pickSurvivesCancel() {
    frmOps& ops = *p_->ops;
    p_->main->Timer1_Timer();
    ops.IconName = QStringLiteral("/pics/a.ico");  // as the chooser's Done leaves it
    ops.lblIcon()->setVisible(true);
    QTest::mouseClick(ops.Command4(), Qt::LeftButton);
    flushDeletes();
    QVERIFY(!ops.loadedForm());
    QCOMPARE(ops.IconName, QStringLiteral("/pics/a.ico"));

    p_->main->Timer1_Timer();
    QVERIFY(ops.loadedForm()->isVisible());
    QVERIFY(ops.lblIcon()->isHidden());  // a fresh window
    ops.Command3_Click();
    QCOMPARE(p_->stored(QStringLiteral("IconFile")), QStringLiteral("/pics/a.ico"));
    QCOMPARE(p_->tray.count(NIM_DELETE), 1);

    // Closing the window any other way is the same as Cancel.
    p_->main->Timer1_Timer();
    ops.loadedForm()->close();
    flushDeletes();
    QVERIFY(!ops.loadedForm());
    QCOMPARE(ops.IconName, QStringLiteral("/pics/a.ico"));
}

// A settings folder that cannot be created: the message names the file and the reason, nothing
// restarts and the tray icon stays.
void frmOpsTest::failingWriteKeepsRunning() {
    cleanup();
    home_ = std::make_unique<QTemporaryDir>();
    const QString configHome = home_->filePath(QStringLiteral("file"));
    QFile file(configHome);
    QVERIFY(file.open(QIODevice::WriteOnly));  // the config home is a regular file
    file.close();
    p_ = std::make_unique<Program>(configHome);
    Program& p = *p_;
    p.main->Initialize();
    p.main->Timer1_Timer();
    p.ops->IconName = QStringLiteral("/pics/a.ico");
    p.ops->SoundName = QStringLiteral("/snd/c.wav");
    p.tray.clearCalls();

    p.ops->Command3_Click();

    QCOMPARE(p.notifier.count(), 1);
    const QString prompt = QString::fromStdString(p.notifier.messages[0].prompt);
    QVERIFY2(prompt.contains(p.settings.fileName(kApp)), qPrintable(prompt));
    QVERIFY2(prompt.contains(p.settings.lastError()) && !p.settings.lastError().isEmpty(),
             qPrintable(prompt));
    QVERIFY(p.process.started.isEmpty());
    QCOMPARE(p.process.exits, 0);
    QCOMPARE(p.tray.count(NIM_DELETE), 0);
    QVERIFY(p.tray.isShown(p.main.get(), 1));
    QVERIFY(p.ops->loadedForm()->isVisible());  // the user can try again or cancel
}

void frmOpsTest::failingRestartKeepsRunning() {
    Program& p = *p_;
    p.process.failStart = QStringLiteral("Permission denied");
    p.ops->SoundName = QStringLiteral("/snd/c.wav");
    p.ops->Command3_Click();
    QCOMPARE(p.stored(QStringLiteral("SoundFile")), QStringLiteral("/snd/c.wav"));
    QCOMPARE(p.notifier.count(), 1);
    const QString prompt = QString::fromStdString(p.notifier.messages[0].prompt);
    QVERIFY(prompt.contains(QStringLiteral("/opt/brennet/brennet")));
    QVERIFY(prompt.contains(QStringLiteral("Permission denied")));
    QCOMPARE(p.process.exits, 0);
    QCOMPARE(p.ended, 0);
}

void frmOpsTest::quitUnloadsTheMainWindow() {
    Program& p = *p_;
    p.main->Timer1_Timer();
    p.ops->setStepText(QStringLiteral("20"));
    QTest::mouseClick(p.ops->Command5(), Qt::LeftButton);
    QCOMPARE(p.ended, 1);
    QVERIFY(!p.tray.isShown(p.main.get(), 1));
    QCOMPARE(p.stored(kStep), QString());  // nothing saved
    QCOMPARE(p.process.exits, 0);
}

QTEST_MAIN(frmOpsTest)
#include "frmOpsTest.moc"
