// The settings store: defaults, the name rules, round trips, and files it must not harm.

#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdlib>

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

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    SettingsStore store{home.path()};
    QString file() const { return home.path() + QStringLiteral("/Brennet/Brennet.ini"); }
};

TEST_F(SettingsStoreTest, EmptyStoreGivesDefaultsAndCreatesNothing) {
    EXPECT_EQ(store.fileName(kApp), file());
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, kStep, QStringLiteral("10")), "10");
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, kSound, QStringLiteral("1")), "1");
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, QStringLiteral("IconFile")), QString());
    EXPECT_TRUE(entries(home.path()).isEmpty());
}

TEST_F(SettingsStoreTest, ConfigHomeComesFromTheEnvironmentWhenNotGiven) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    EXPECT_EQ(SettingsStore().fileName(kApp), file());
    qputenv("XDG_CONFIG_HOME", "relative/dir");  // not absolute: ignored
    EXPECT_EQ(SettingsStore().fileName(kApp),
              QDir::homePath() + QStringLiteral("/.config/Brennet/Brennet.ini"));
    qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(SettingsStoreTest, NamesEndAtTheirFirstNulAndKeepTheirBlanks) {
    ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")));
    ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, kStep, QStringLiteral("12,5")));

    SettingsStore fresh(home.path());  // nothing kept in memory between the two
    const QString section = QStringLiteral(u"设置");
    EXPECT_EQ(fresh.rtcGetSetting(kApp, section, QStringLiteral(u"声音")), "0");
    EXPECT_EQ(fresh.rtcGetSetting(kApp, kSection, kSound), "0");
    EXPECT_EQ(fresh.rtcGetSetting(kApp, section, kStep), "12,5");
    // Without its seven blanks the step's name is another name.
    EXPECT_EQ(fresh.rtcGetSetting(kApp, section, QStringLiteral(u"增加"), QStringLiteral("10")),
              "10");
    ASSERT_TRUE(fresh.rtcSaveSetting(kApp, section, QStringLiteral(u"增加"), QStringLiteral("3")));
    EXPECT_EQ(fresh.rtcGetSetting(kApp, section, kStep), "12,5");
    EXPECT_EQ(fresh.rtcGetSetting(kApp, section, QStringLiteral(u"增加")), "3");
    // Names are not folded: another section or case finds nothing.
    EXPECT_EQ(fresh.rtcGetSetting(kApp, QStringLiteral("other"), kSound, QStringLiteral("d")), "d");
    EXPECT_EQ(fresh.rtcGetSetting(kApp, section, QStringLiteral("usericon"), QStringLiteral("d")),
              "d");
    // A name that is empty up to its NUL names nothing.
    EXPECT_FALSE(fresh.rtcSaveSetting(kApp, section, QString(2, QChar(u'\0')), "x"));
    EXPECT_FALSE(fresh.lastError().isEmpty());
}

TEST_F(SettingsStoreTest, ValuesComeBackExactlyAndOtherValuesStay) {
    const QStringList values = {QStringLiteral("12,5"),
                                QStringLiteral("@Variant(x)"),
                                QStringLiteral("  leading and trailing  "),
                                QString(),
                                QStringLiteral("\"quoted\";#=[x]\\"),
                                QStringLiteral(u"/home/用户/声音 1.wav"),
                                QStringLiteral("two\nlines")};
    for (int i = 0; i < values.size(); ++i) {
        ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, QStringLiteral("v%1").arg(i), values[i]))
            << qPrintable(store.lastError());
    }
    ASSERT_TRUE(store.rtcSaveSetting(kApp, QStringLiteral("other"), QStringLiteral("v0"), "x"));
    ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, QStringLiteral("v0"), "replaced"));
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, QStringLiteral("v0")), "replaced");
    for (int i = 1; i < values.size(); ++i) {
        EXPECT_EQ(store.rtcGetSetting(kApp, kSection, QStringLiteral("v%1").arg(i), "<none>"),
                  values[i]);
    }
    EXPECT_EQ(store.rtcGetSetting(kApp, QStringLiteral("other"), QStringLiteral("v0")), "x");
    // Nothing but the settings file is left in the folder.
    EXPECT_EQ(entries(home.path() + QStringLiteral("/Brennet")),
              QStringList{QStringLiteral("Brennet.ini")});
}

TEST_F(SettingsStoreTest, HandEditedFileIsRead) {
    writeAll(file(), QByteArray("; my settings\n[%U8BBE%U7F6E]\n%U589E%U52A0%20%20%20%20%20%20%20"
                                "=12,5\nUserIcon = 1\n"));
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, kStep), "12,5");
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, QStringLiteral("UserIcon")), "1");
}

TEST_F(SettingsStoreTest, UnreadableSettingsGiveDefaultsAndStayAsTheyWere) {
    QByteArray garbage(4096, '\0');
    QRandomGenerator random(42);
    for (char& c : garbage) {
        c = static_cast<char>(random.bounded(256));
    }
    garbage.prepend("UserIcon=1\n");  // a plausible line does not make the rest readable
    writeAll(file(), garbage);
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, QStringLiteral("UserIcon"), "0"), "0");
    EXPECT_EQ(readAll(file()), garbage);

    // Writing keeps the unreadable file under a name of its own, byte for byte.
    ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")))
        << qPrintable(store.lastError());
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, kSound), "0");
    const QStringList kept = QDir(home.path() + QStringLiteral("/Brennet"))
                                 .entryList({QStringLiteral("Brennet.ini.unreadable-*")});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(readAll(home.path() + QStringLiteral("/Brennet/") + kept[0]), garbage);
}

TEST_F(SettingsStoreTest, FolderInPlaceOfTheFileIsLeftAlone) {
    ASSERT_TRUE(QDir().mkpath(file()));
    writeAll(file() + QStringLiteral("/inside"), "x");
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, kSound, QStringLiteral("1")), "1");
    EXPECT_FALSE(store.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")));
    EXPECT_TRUE(store.lastError().contains(file())) << qPrintable(store.lastError());
    EXPECT_TRUE(QFileInfo(file()).isDir());
    EXPECT_EQ(readAll(file() + QStringLiteral("/inside")), "x");
}

TEST_F(SettingsStoreTest, FileWithoutReadPermissionIsLeftAlone) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser";
    }
    writeAll(file(), "[x]\na=1\n");
    ASSERT_TRUE(QFile::setPermissions(file(), QFileDevice::WriteOwner));
    EXPECT_EQ(store.rtcGetSetting(kApp, QStringLiteral("x"), QStringLiteral("a"), "d"), "d");
    EXPECT_FALSE(store.rtcSaveSetting(kApp, QStringLiteral("x"), QStringLiteral("a"), "2"));
    EXPECT_FALSE(store.lastError().isEmpty());
    QFile::setPermissions(file(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(readAll(file()), "[x]\na=1\n");
}

TEST_F(SettingsStoreTest, FailedWriteIsReportedAndNotSeenByLaterReads) {
    // The configuration folder is a plain file: nothing can be written below it.
    writeAll(home.path() + QStringLiteral("/blocked"), "x");
    SettingsStore blocked(home.path() + QStringLiteral("/blocked"));
    EXPECT_FALSE(blocked.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")));
    EXPECT_FALSE(blocked.lastError().isEmpty());
    EXPECT_EQ(blocked.rtcGetSetting(kApp, kSection, kSound, QStringLiteral("1")), "1");

    // A later success clears the report.
    EXPECT_TRUE(store.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")));
    EXPECT_TRUE(store.lastError().isEmpty());
}

TEST_F(SettingsStoreTest, LinkedSettingsFileStaysALink) {
    const QString target = home.path() + QStringLiteral("/dotfiles/Brennet.ini");
    writeAll(target, "[other]\nk=v\n");
    QDir().mkpath(home.path() + QStringLiteral("/Brennet"));
    ASSERT_TRUE(QFile::link(target, file()));
    ASSERT_TRUE(store.rtcSaveSetting(kApp, kSection, kSound, QStringLiteral("0")));
    EXPECT_TRUE(QFileInfo(file()).isSymLink());
    EXPECT_EQ(store.rtcGetSetting(kApp, kSection, kSound), "0");
    EXPECT_EQ(store.rtcGetSetting(kApp, QStringLiteral("other"), QStringLiteral("k")), "v");
}

}  // namespace
