// The settings store: defaults, the name rules, round trips, and files it must not harm.

#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

const QString kApp = QStringLiteral("Brennet");
const QString kSection = QStringLiteral(u"设置") + QString(6, QChar(u'\0'));
const QString kStep = QStringLiteral(u"增加") + QString(7, QChar(u' '));
const QString kSound = QStringLiteral(u"声音") + QString(3, QChar(u'\0'));

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    SettingsStore store{home.path()};
    QString file() const { return home.path() + QStringLiteral("/Brennet/Brennet.ini"); }
    QString get(const QString& key, const QString& section = kSection) const {
        return store.rtcGetSetting(kApp, section, key, QStringLiteral("<default>"));
    }
};

TEST_F(SettingsStoreTest, EmptyStoreGivesDefaultsAndCreatesNothing) {
    EXPECT_EQ(store.fileName(kApp), file());
    EXPECT_EQ(get(kStep), "<default>");
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, QStringLiteral("IconFile")), QString());
    EXPECT_TRUE(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    EXPECT_EQ(SettingsStore().fileName(kApp), file());
    qputenv("XDG_CONFIG_HOME", "relative/dir");  // not absolute: ignored
    EXPECT_EQ(SettingsStore().fileName(kApp), QDir::homePath() + "/.config/Brennet/Brennet.ini");
    qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(SettingsStoreTest, NamesEndAtTheirFirstNulAndKeepTheirBlanks) {
    ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")));
    ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, kStep, QStringLiteral("12,5")));
    const QString section = QStringLiteral(u"设置");
    EXPECT_EQ(get(QStringLiteral(u"声音"), section), "0");
    EXPECT_EQ(get(kStep, section), "12,5");
    // Without its seven blanks the step's name is another name.
    EXPECT_EQ(get(QStringLiteral(u"增加")), "<default>");
    ASSERT_TRUE(store.rtcSaveSetting(kApp, section, QStringLiteral(u"增加"), QStringLiteral("3")));
    EXPECT_EQ(get(kStep), "12,5");
    EXPECT_EQ(get(QStringLiteral(u"增加")), "3");
    EXPECT_EQ(get(QStringLiteral("usericon")), "<default>");  // names are not case-folded
    // A name that is empty up to its NUL names nothing.
    EXPECT_FALSE(store.rtcSaveSetting(kApp, section, QString(2, QChar(u'\0')), "x"));
    EXPECT_FALSE(store.lastError().isEmpty());
}

TEST_F(SettingsStoreTest, ValuesComeBackExactlyAndOtherValuesStay) {
    const QStringList values = {
        "@Variant(x)", "  blanks  ", "", "\"q\";#=[x]\\", QStringLiteral(u"/home/用户/声音 1.wav"),
        "two\nlines"};
    for (int i = 0; i < values.size(); ++i) {
        ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, QStringLiteral("v%1").arg(i), values[i]));
    }
    ASSERT_TRUE(store.rtcSaveSetting(kApp, "other", "v0", "x"));
    for (int i = 0; i < values.size(); ++i) {
        EXPECT_EQ(get(QStringLiteral("v%1").arg(i)), values[i]);
    }
    EXPECT_EQ(get("v0", "other"), "x");
    EXPECT_EQ(QDir(home.path() + "/Brennet").entryList(QDir::Files | QDir::Hidden),
              QStringList{"Brennet.ini"});  // no temporary or lock file left behind

    // A hand-edited file: unquoted comma, blanks around "=".
    writeAll(file(), "; mine\n[%U8BBE%U7F6E]\n%U589E%U52A0%20%20%20%20%20%20%20=12,5\nA = 1\n");
    EXPECT_EQ(get(kStep), "12,5");
    EXPECT_EQ(get("A"), "1");
}

TEST_F(SettingsStoreTest, FilesItCannotReadAreLeftAlone) {
    // Garbage: defaults when read; kept byte for byte under a name of its own when written.
    QByteArray garbage("UserIcon=1\n\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe\x01", 27);
    writeAll(file(), garbage);
    EXPECT_EQ(get("UserIcon"), "<default>");
    EXPECT_EQ(readAll(file()), garbage);
    ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, kSound, "0")) << qPrintable(store.lastError());
    EXPECT_EQ(get(kSound), "0");
    const QStringList kept =
        QDir(home.path() + "/Brennet").entryList({QStringLiteral("Brennet.ini.unreadable-*")});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(readAll(home.path() + "/Brennet/" + kept[0]), garbage);

    // A folder in its place: defaults, and a write fails naming the file.
    QFile::remove(file());
    writeAll(file() + "/inside", "x");
    EXPECT_EQ(get(kSound), "<default>");
    EXPECT_FALSE(store.rtcSaveSetting(kApp, kSection, kSound, "0"));
    EXPECT_TRUE(store.lastError().contains(file())) << qPrintable(store.lastError());
    EXPECT_EQ(readAll(file() + "/inside"), "x");

    // No read permission (binds only ordinary users).
    QDir(file()).removeRecursively();
    writeAll(file(), "[x]\na=1\n");
    if (::geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(file(), QFileDevice::WriteOwner));
        EXPECT_EQ(get("a", "x"), "<default>");
        EXPECT_FALSE(store.rtcSaveSetting(kApp, "x", "a", "2"));
        QFile::setPermissions(file(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        EXPECT_EQ(readAll(file()), "[x]\na=1\n");
    }
}

TEST_F(SettingsStoreTest, FailedWriteIsReportedAndNotSeenByLaterReads) {
    writeAll(home.path() + "/blocked", "x");  // the configuration folder is a plain file
    SettingsStore blocked(home.path() + "/blocked");
    EXPECT_FALSE(blocked.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")));
    EXPECT_FALSE(blocked.lastError().isEmpty());
    EXPECT_EQ(blocked.rtcGetSetting(kApp, kSection, kSound, "1"), "1");
    EXPECT_TRUE(store.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")));
    EXPECT_TRUE(store.lastError().isEmpty());
    EXPECT_EQ(get(kSound), "0");
    // A change of the same size within the same instant is seen at once.
    EXPECT_TRUE(store.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("1")));
    EXPECT_EQ(get(kSound), "1");

    // A settings file that links to one kept elsewhere stays a link.
    const QString target = home.path() + "/dotfiles/Brennet.ini";
    writeAll(target, "[other]\nk=v\n");
    QFile::remove(file());
    ASSERT_TRUE(QFile::link(target, file()));
    ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")));
    EXPECT_TRUE(QFileInfo(file()).isSymLink());
    EXPECT_EQ(get(kSound), "0");
    EXPECT_EQ(get("k", "other"), "v");
}

}  // namespace
