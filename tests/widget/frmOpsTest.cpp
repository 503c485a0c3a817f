// The options dialog over the real main window and settings store, with fake tray, mixer and
// process.

#include "FrmMainRig.h"
#include "TestFiles.h"

#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <functional>
#include <memory>

#include <sys/resource.h>

using namespace settingNames;

namespace {

void clickIndicator(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    QTest::mouseClick(
        box, Qt::LeftButton, Qt::NoModifier,
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).center());
}

enum Failure { RestartFails, FolderIsAFile, DiskFull };

}  // namespace

class frmOpsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { start(QString()); }
    void cleanup() { rig_.reset(); }

    void trayHoldFillsTheDialog();
    void checkBoxes();
    void apply_data();
    void apply();
    void pickSurvivesCancel();
    void failuresKeepRunning_data();
    void failuresKeepRunning();

private:
    void start(const QString& configHome) {
        rig_ = std::make_unique<FrmMainRig>(QStringLiteral("/opt/brennet"), configHome);
        rig_->make().Initialize();
        rig_->makeOptions();  // no file chooser: the Browse buttons are frmOpenTest's
    }
    frmOps& ops() { return *rig_->ops; }

    std::unique_ptr<FrmMainRig> rig_;
};

// The left hold shows the modeless dialog filled from the settings, with the main window's icon
// and the focus in the step; only the plain defaults leave Apply off.
void frmOpsTest::trayHoldFillsTheDialog() {
    QVERIFY(!ops().loadedForm());  // nothing until first use
    const std::tuple<const char*, const char*, const char*, bool> cases[] = {
        {"10", "0", "0", false},
        {"15", "0", "0", true},
        {"10", "1", "0", true},
        {"10", "0", "1", true}};
    for (const auto& [step, sound, icon, enabled] : cases) {
        rig_->save(kStep, step);
        rig_->save(kSound, sound);
        rig_->save(kUserIcon, icon);
        rig_->form->Initialize();
        rig_->form->Timer1_Timer();
        QDialog* form = ops().loadedForm();
        QVERIFY(!form->isModal());
        QCOMPARE(form->windowIcon().cacheKey(), rig_->form->windowIcon().cacheKey());
        QVERIFY(QTest::qWaitForWindowActive(form));
        QCOMPARE(QApplication::focusWidget(), ops().Text1());
        QCOMPARE(ops().Text1()->text(), QString::fromLatin1(step));
        QCOMPARE(ops().Check1()->isChecked(), *sound == '1');
        QCOMPARE(ops().Check2()->isChecked(), *icon == '1');
        QCOMPARE(ops().Command3()->isEnabled(), enabled);
        ops().Command4_Click();
        FrmMainRig::flushDeletes();
    }
}

// A click on either check box's indicator enables Apply, and unticking does not disable it again.
// (Each Browse button's Action shows in the chooser's title, list and pick: frmOpenTest.)
void frmOpsTest::checkBoxes() {
    for (auto check : {&frmOps::Check1, &frmOps::Check2}) {
        ops().Command4_Click();
        FrmMainRig::flushDeletes();
        ops().showModeless();
        QVERIFY(QTest::qWaitForWindowExposed(ops().form()));
        QCheckBox* box = (ops().*check)();
        clickIndicator(box);
        QVERIFY(box->isChecked());
        QVERIFY(ops().Command3()->isEnabled());
        clickIndicator(box);
        QVERIFY(!box->isChecked());
        QVERIFY(ops().Command3()->isEnabled());
    }
}

void frmOpsTest::apply_data() {
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("sound");
    QTest::newRow("no file") << QString() << QString();
    QTest::newRow("sound only") << QString() << QStringLiteral(u"/声音/c.wav");
    QTest::newRow("both") << QStringLiteral("/pics/a b.ico") << QStringLiteral("/snd/c.wav");
}

// The writes, the tray removal, Initialize and the restart for each combination of picks. (An
// icon picked alone, written and shown after the restart: options_chooser.sh.)
void frmOpsTest::apply() {
    QFETCH(QString, icon);
    QFETCH(QString, sound);
    FrmMainRig& rig = *rig_;
    rig.save(kIconFile, "/old.ico");
    rig.save(kSoundFile, "/old.wav");
    rig.form->Timer1_Timer();  // filled from the defaults: step 10, sound ticked
    ops().IconName = icon;
    ops().SoundName = sound;
    ops().setStepText(QStringLiteral("7"));
    QTest::mouseClick(ops().Check1(), Qt::LeftButton);  // sound off
    rig.tray.calls.clear();

    QTest::mouseClick(ops().Command3(), Qt::LeftButton);

    QCOMPARE(QStringList({rig.stored(kStep), rig.stored(kSound), rig.stored(kUserIcon),
                          rig.stored(kIconFile), rig.stored(kSoundFile)}),
             QStringList({"7", "0", "0", icon.isEmpty() ? "/old.ico" : icon,
                          sound.isEmpty() ? "/old.wav" : sound}));
    const bool picked = !icon.isEmpty() || !sound.isEmpty();
    QCOMPARE(rig.tray.count(NIM_DELETE), icon.isEmpty() ? 0 : 1);
    QCOMPARE(rig.tray.count(NIM_ADD), picked ? 1 : 0);  // Initialize ran again
    QCOMPARE(rig.form->Increment, picked ? 0.07 : 0.1);
    QVERIFY(rig.tray.isShown(rig.form.get(), 1));
    QCOMPARE(rig.process.started, QStringList{"/opt/brennet/brennet"});
    QCOMPARE(rig.process.exits, 1);
    QVERIFY(rig.notifier.messages.empty());
    QCOMPARE(rig.endCalls, 0);  // Apply ends by exiting, not by unloading the main window
}

// A pick made before Cancel is applied by a later window's Apply.
void frmOpsTest::pickSurvivesCancel() {
    rig_->form->Timer1_Timer();
    ops().IconName = QStringLiteral("/pics/a.ico");  // as the chooser's Done leaves it
    ops().lblIcon()->setVisible(true);
    ops().loadedForm()->close();  // any way of closing is Cancel
    FrmMainRig::flushDeletes();
    QVERIFY(!ops().loadedForm());
    rig_->form->Timer1_Timer();
    QVERIFY(ops().lblIcon()->isHidden());  // a fresh window
    ops().Command3_Click();
    QCOMPARE(rig_->stored(kIconFile), QStringLiteral("/pics/a.ico"));
    QCOMPARE(rig_->tray.count(NIM_DELETE), 1);
}

void frmOpsTest::failuresKeepRunning_data() {
    QTest::addColumn<int>("failure");
    QTest::newRow("restart fails") << int(RestartFails);
    QTest::newRow("settings folder is a file") << int(FolderIsAFile);
    QTest::newRow("disk full") << int(DiskFull);
}

// A save or a restart that fails: one message that names the file or program and the reason, the
// settings file as it was, and this instance keeps running with its tray icon and dialog.
void frmOpsTest::failuresKeepRunning() {
    QFETCH(int, failure);
    QTemporaryDir home;
    if (failure == FolderIsAFile) {
        const QString configHome = home.filePath(QStringLiteral("file"));
        QVERIFY(QFile(configHome).open(QIODevice::WriteOnly));
        start(configHome);
    }
    for (const QString& key : {kStep, kSound, kUserIcon, kIconFile, kSoundFile}) {
        rig_->save(key, QStringLiteral("1"));
    }
    const QByteArray before = readFile(rig_->settings.fileName(kApplication));
    rig_->form->Timer1_Timer();
    ops().setStepText(QStringLiteral("7"));
    ops().IconName = QStringLiteral("/pics/") + QString(300, QLatin1Char('a'));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (failure == RestartFails) {
        rig_->process.failStart = QStringLiteral("Permission denied");
    } else if (failure == DiskFull) {
        // The old file may be rewritten, but not grow by the long path.
        const rlimit full{static_cast<rlim_t>(before.size() + 100), saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &full);
    }
    ops().Command3_Click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(rig_->notifier.count(), 1);
    const QString prompt = QString::fromStdString(rig_->notifier.messages[0].prompt);
    const QStringList named =
        failure == RestartFails
            ? QStringList{"/opt/brennet/brennet", "Permission denied"}
            : QStringList{rig_->settings.fileName(kApplication), rig_->settings.lastError()};
    for (const QString& part : named) {
        QVERIFY(!part.isEmpty());
        QVERIFY2(prompt.contains(part), qPrintable(prompt));
    }
    QCOMPARE(rig_->process.exits, 0);
    if (failure != RestartFails) {
        QVERIFY(rig_->process.started.isEmpty());
        QCOMPARE(rig_->tray.count(NIM_DELETE), 0);
        QVERIFY(ops().loadedForm()->isVisible());  // the user can try again or cancel
        QCOMPARE(readFile(rig_->settings.fileName(kApplication)), before);
    }
}

QTEST_MAIN(frmOpsTest)
#include "frmOpsTest.moc"
