// Start-up of the main window: the settings it reads, the tray record, a second Initialize and
// the custom icon.

#include "FrmMainRig.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

namespace {

using namespace settingNames;

class frmMainInitializeTest : public ::testing::Test {
protected:
    FrmMainRig rig;
};

// The first start reads the defaults and shows no window; then stored settings
// are read, and a stored step that cannot serve as one gives the default.
TEST_F(frmMainInitializeTest, DefaultsStoredSettingsAndBadSteps) {
    frmMain& form = rig.make();
    form.Form_Load();
    EXPECT_EQ(QStringList({form.Sound, form.UserIcon, form.SoundFile, form.IconFile}),
              QStringList({"1", "0", "/opt/brennet/Change.wav", ""}));
    EXPECT_EQ(form.Increment, 0.1);
    EXPECT_FALSE(form.isVisible());  // (that it writes nothing: tray_start.sh)

    ASSERT_TRUE(rig.save(kStep, "5"));
    ASSERT_TRUE(rig.save(kSound, "0"));
    form.Initialize();
    EXPECT_EQ(form.Increment, 0.05);
    EXPECT_EQ(form.Sound, "0");

    // A stored step that cannot serve as one gives the default; the store keeps its text.
    ASSERT_TRUE(rig.save(kStep, "-5"));
    form.Initialize();
    EXPECT_EQ(form.Increment, 0.1);
    EXPECT_EQ(rig.stored(kStep), "-5");

    // The default sound file at the root has one slash.
    FrmMainRig atRoot(QStringLiteral("/"));
    atRoot.make().Initialize();
    EXPECT_EQ(atRoot.form->SoundFile, "/Change.wav");
}

TEST_F(frmMainInitializeTest, InitializeTwice) {
    ASSERT_TRUE(rig.save(kStep, "12.5"));
    rig.master().muted = true;
    frmMain& form = rig.make();
    form.Initialize();
    EXPECT_EQ(form.muteActive(), "1");
    clsVolume* const volume = form.volume();

    form.Timer2_Timer();  // the right hold unmutes
    ASSERT_EQ(form.muteActive(), "0");
    form.Initialize();
    EXPECT_EQ(form.Increment, 0.125);  // divided by 100 once, from the fresh read
    EXPECT_EQ(form.volume(), volume);
    EXPECT_EQ(form.muteActive(), "0");  // only ever set, never cleared
    // The icon was still shown: the repeated add fails and leaves the tray as it was. (Removed
    // first, as Apply does, it comes back: frmOpsTest's apply.)
    EXPECT_FALSE(rig.tray.calls.back().result);
    EXPECT_EQ(rig.tray.shown.size(), 1u);

    // Without a mixer the remaining steps still run: the icon is shown.
    FrmMainRig noMixer;
    noMixer.engine.reachable = false;
    noMixer.make().Initialize();
    EXPECT_TRUE(noMixer.tray.isShown(noMixer.form.get(), 1));
}

// One icon file holding the images of the given single-image icon files, in order.
QByteArray joinIcons(const QList<QByteArray>& icons) {
    QByteArray head = icons[0].left(6), entries, data;
    qToLittleEndian<quint16>(icons.size(), head.data() + 4);
    for (const QByteArray& icon : icons) {
        QByteArray entry = icon.mid(6, 16);
        qToLittleEndian<quint32>(6 + 16 * icons.size() + data.size(), entry.data() + 12);
        entries += entry;
        data += icon.mid(22);
    }
    return head + entries + data;
}

TEST_F(frmMainInitializeTest, CustomIconRules) {
    auto encode = [](int side, Qt::GlobalColor colour, const char* format) {
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(QImageWriter(&buffer, format).write(image));
        return bytes;
    };
    auto write = [&](const QString& name, const QByteArray& bytes) {
        const QString path = rig.temporary.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    };
    const QByteArray red = encode(32, Qt::red, "ico");
    QByteArray huge = red;  // declares 256 x 256 in the directory, 4000 x 4000 in the bitmap
    huge[6] = huge[7] = 0;
    qToLittleEndian<qint32>(4000, huge.data() + 22 + 4);
    qToLittleEndian<qint32>(8000, huge.data() + 22 + 8);
    QByteArray pngInside = red.left(22) + encode(32, Qt::red, "png");  // as large icons keep it
    qToLittleEndian<quint32>(pngInside.size() - 22, pngInside.data() + 6 + 8);
    QList<QByteArray> many(16, red);
    many += QList<QByteArray>(40, encode(48, Qt::blue, "ico"));

    const QString redFile = write("red.ico", red);
    const QString manyFile = write("many.ico", joinIcons(many));
    const std::tuple<const char*, QString, bool> cases[] = {
        {"1", redFile, true},
        {"0", redFile, false},
        {"1", rig.temporary.filePath("missing.ico"), false},
        {"1", write("png.ico", encode(32, Qt::red, "png")), false},  // a PNG inside
        {"1", rig.temporary.path(), false},                          // a folder
        {"1", write("png-inside.ico", pngInside), true},
        {"1", manyFile, true},
        {"1", write("huge.ico", joinIcons({red, huge})), false},
        {"1", write("large.ico", red + QByteArray(5 << 20, '\0')), false},
    };
    for (const auto& [userIcon, file, custom] : cases) {
        rig.save(kUserIcon, userIcon);
        rig.save(kIconFile, file);
        rig.tray.shown.clear();
        frmMain& form = rig.make();
        form.Initialize();
        const QIcon& shown = rig.tray.calls.back().data.hIcon;
        const QRgb centre = shown.pixmap(32, 32).toImage().pixel(16, 16);
        EXPECT_EQ(centre == QColor(Qt::red).rgb(), custom) << userIcon << qPrintable(file);
        if (file == manyFile) {
            EXPECT_EQ(shown.availableSizes(), QList<QSize>{QSize(32, 32)})
                << "only the first images are read";
        }
    }
}

}  // namespace
