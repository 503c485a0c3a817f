// Start-up of the main window: the settings it reads, the custom icon, the tray record, a second
// Initialize, and shutdown.

#include "FrmMainRig.h"
#include "StepConversion.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QLocale>
#include <QPixmap>

#include <cstring>

namespace {

class frmMainInitializeTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }

    // An icon file in the temporary folder, one colour all over.
    QString writeIcon(const QString& name, QColor colour, const QByteArray& format = "ico") {
        QImage image(32, 32, QImage::Format_ARGB32);
        image.fill(colour);
        const QString path = rig.configHome.filePath(name);
        QImageWriter writer(path, format);
        EXPECT_TRUE(writer.write(image)) << qPrintable(writer.errorString());
        return path;
    }
    static QRgb centre(const QIcon& icon) { return icon.pixmap(32, 32).toImage().pixel(16, 16); }

    FrmMainRig rig;
};

TEST_F(frmMainInitializeTest, FirstStartWithEmptyStore) {
    frmMain& form = rig.make();
    EXPECT_EQ(form.windowTitle(), "Brennet");
    form.Form_Load();

    EXPECT_EQ(form.Increment, "0.1");
    EXPECT_EQ(form.Sound, "1");
    EXPECT_EQ(form.UserIcon, "0");
    EXPECT_EQ(form.SoundFile, "/opt/brennet/Change.wav");
    EXPECT_EQ(form.IconFile, "");
    EXPECT_EQ(form.muteActive(), "");
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_FALSE(form.Timer2.isActive());
    EXPECT_EQ(form.Timer1.interval(), 500);
    EXPECT_EQ(form.Timer2.interval(), 500);
    ASSERT_NE(form.volume(), nullptr);
    // Nothing is written back: a user who never applied the options has no file.
    EXPECT_FALSE(QFile::exists(rig.settings.fileName("Brennet")));

    ASSERT_EQ(rig.tray.calls().size(), 1u);
    const FakeTray::Call& add = rig.tray.calls()[0];
    EXPECT_EQ(add.message, NIM_ADD);
    EXPECT_EQ(add.data.cbSize, 88u);
    EXPECT_EQ(add.data.hWnd, static_cast<TrayWindow*>(&form));
    EXPECT_EQ(add.data.uID, 1u);
    EXPECT_EQ(add.data.uFlags, 7u);
    EXPECT_EQ(add.data.uCallbackMessage, 0x200u);
    EXPECT_EQ(add.data.hIcon.cacheKey(), form.windowIcon().cacheKey());
    char tip[64];
    std::memset(tip, ' ', sizeof tip);
    std::memcpy(tip, "Brennet", 8);
    EXPECT_EQ(std::memcmp(add.data.szTip, tip, sizeof tip), 0);
    EXPECT_EQ(rig.tray.tip(&form, 1), "Brennet");
    // The record is kept for removing the icon later.
    EXPECT_EQ(form.module1().TrayIconData.hWnd, static_cast<TrayWindow*>(&form));
}

TEST_F(frmMainInitializeTest, StoredSettingsAreReadWithTheirNames) {
    ASSERT_TRUE(rig.save(FrmMainRig::kStepName, "5"));
    ASSERT_TRUE(rig.save(FrmMainRig::kSoundName, "0"));
    ASSERT_TRUE(rig.save("SoundFile", QStringLiteral(u"/home/u/声音.wav")));
    ASSERT_TRUE(rig.save(QStringLiteral(u"增加"), "50"));  // without the blanks: not the step
    frmMain& form = rig.make();
    form.Initialize();
    EXPECT_EQ(form.Increment, "0.05");
    EXPECT_EQ(form.Sound, "0");
    EXPECT_EQ(form.SoundFile, QStringLiteral(u"/home/u/声音.wav"));

    // A stored step that cannot serve as one gives the default; the store keeps its text.
    ASSERT_TRUE(rig.save(FrmMainRig::kStepName, "-5"));
    form.Initialize();
    EXPECT_EQ(form.Increment, "0.1");
    EXPECT_EQ(rig.stored(FrmMainRig::kStepName), "-5");

    // The default sound file at the root has one slash.
    FrmMainRig atRoot(QStringLiteral("/"));
    atRoot.make().Initialize();
    EXPECT_EQ(atRoot.form->SoundFile, "/Change.wav");
    EXPECT_EQ(frmMain::joinPath("/opt/brennet/", "Change.wav"), "/opt/brennet/Change.wav");
}

TEST_F(frmMainInitializeTest, InitializeTwice) {
    ASSERT_TRUE(rig.save(FrmMainRig::kStepName, "12.5"));
    rig.mixer.setMasterMute(true);
    frmMain& form = rig.make();
    form.Initialize();
    EXPECT_EQ(form.Increment, "0.125");
    EXPECT_EQ(form.muteActive(), "1");
    clsVolume* const volume = form.volume();

    // Unmuted by the right hold: a second Initialize with the master unmuted leaves the flag.
    form.Timer2_Timer();
    ASSERT_EQ(form.muteActive(), "0");
    form.trayCallback(WM_MOUSEMOVE, WM_LBUTTONDOWN);
    form.trayCallback(WM_MOUSEMOVE, WM_RBUTTONDOWN);
    ASSERT_TRUE(form.Timer1.isActive());

    form.Initialize();
    EXPECT_EQ(form.Increment, "0.125");  // divided by 100 once, from the fresh read
    EXPECT_EQ(form.volume(), volume);
    EXPECT_EQ(rig.mixer.count(FakeMixer::Op::Open), 2);  // the one object's creation only
    EXPECT_EQ(form.muteActive(), "0");
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_FALSE(form.Timer2.isActive());

    // The icon was still shown: the repeated add fails and leaves the tray as it was.
    EXPECT_EQ(rig.tray.count(NIM_ADD), 2);
    EXPECT_FALSE(rig.tray.calls().back().result);
    EXPECT_EQ(rig.tray.shownCount(), 1);

    // Removed first (as Apply does), the icon comes back.
    form.module1().Shell_NotifyIconA(NIM_DELETE, form.module1().TrayIconData);
    rig.mixer.setMasterMute(true);
    form.Initialize();
    EXPECT_TRUE(rig.tray.isShown(&form, 1));
    EXPECT_EQ(form.muteActive(), "1");
}

TEST_F(frmMainInitializeTest, CustomIconRules) {
    const QString red = writeIcon("red.ico", Qt::red);
    const QString png = writeIcon("green.ico", Qt::green, "png");  // named .ico, a PNG inside
    struct Case {
        const char* userIcon;
        QString file;
        bool custom;
    };
    const Case cases[] = {
        {"1", red, true},        {"0", red, false},
        {"1", QString(), false}, {"1", rig.configHome.filePath("missing.ico"), false},
        {"1", png, false},       {"1", rig.configHome.path(), false},  // a folder
    };
    for (const Case& c : cases) {
        rig.save("UserIcon", c.userIcon);
        rig.save("IconFile", c.file);
        rig.tray.clearCalls();
        frmMain& form = rig.make();
        const qint64 builtin = form.windowIcon().cacheKey();
        form.Initialize();
        SCOPED_TRACE(qPrintable(c.file));
        ASSERT_FALSE(rig.tray.calls().empty());
        const QIcon& shown = rig.tray.calls().back().data.hIcon;
        EXPECT_EQ(shown.cacheKey(), form.windowIcon().cacheKey());
        if (c.custom) {
            EXPECT_EQ(centre(shown), QColor(Qt::red).rgb());
        } else {
            EXPECT_EQ(form.windowIcon().cacheKey(), builtin) << c.userIcon;
        }
    }

    // A custom icon loaded earlier stays when the next run reads UserIcon "0".
    rig.save("UserIcon", "1");
    rig.save("IconFile", red);
    frmMain& form = rig.make();
    form.Initialize();
    rig.save("UserIcon", "0");
    form.module1().Shell_NotifyIconA(NIM_DELETE, form.module1().TrayIconData);
    form.Initialize();
    EXPECT_EQ(centre(rig.tray.shown(&form, 1)->hIcon), QColor(Qt::red).rgb());
}

TEST_F(frmMainInitializeTest, NoMixerStillShowsTheIcon) {
    rig.mixer.setDevicePresent(false);
    frmMain& form = rig.make();
    form.Initialize();
    EXPECT_NE(form.volume(), nullptr);
    EXPECT_EQ(form.muteActive(), "");
    EXPECT_TRUE(rig.tray.isShown(&form, 1));
}

TEST_F(frmMainInitializeTest, UnloadRemovesTheIconThenEndsTheProgram) {
    frmMain& form = rig.make();
    form.Form_Load();
    form.module1().TrayIconData.hWnd = nullptr;  // whatever the record holds by now
    form.module1().TrayIconData.cbSize = 0;
    bool shownAtEnd = true;
    form.setEndProgram([&] {
        shownAtEnd = rig.tray.shownCount() != 0;
        ++rig.endCalls;
    });
    form.Form_Unload();
    ASSERT_EQ(rig.tray.count(NIM_DELETE), 1);
    const FakeTray::Call& del = rig.tray.calls().back();
    EXPECT_TRUE(del.result);
    EXPECT_EQ(del.data.cbSize, 88u);
    EXPECT_EQ(del.data.uID, 1u);
    EXPECT_FALSE(shownAtEnd);
    EXPECT_EQ(rig.endCalls, 1);
}

}  // namespace
