// The settings store: defaults, the name rules, round trips, and files it must not harm.

#include "SettingNames.h"
#include "SettingsStore.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

using namespace settingNames;

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    SettingsStore store{home.path()};
    QString file() const { return home.path() + "/Brennet/Brennet.ini"; }
    QString get(const QString& key, const QString& section = kSection) const {
        return store.rtcGetSetting(kApplication, section, key, "<default>");
    }
    bool save(const QString& key, const QString& value, const QString& section = kSection) {
        return store.rtcSaveSetting(kApplication, section, key, value);
    }
};

TEST_F(SettingsStoreTest, DefaultsAndNameRules) {
    EXPECT_EQ(store.fileName(kApplication), file());
    EXPECT_EQ(get(kStep), "<default>");
    EXPECT_TRUE(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));

    // Names end at their first NUL; the step's seven blanks make a name of its own.
    ASSERT_TRUE(save(kSound, "0"));
    ASSERT_TRUE(save(kStep, "12,5"));
    ASSERT_TRUE(save(QStringLiteral(u"增加"), "3", QStringLiteral(u"设置")));
    EXPECT_EQ(get(QStringLiteral(u"声音"), QStringLiteral(u"设置")), "0");
    EXPECT_EQ(get(kStep), "12,5");
    EXPECT_EQ(get(QStringLiteral(u"增加")), "3");
    EXPECT_EQ(get("usericon"), "<default>");  // not case-folded
    EXPECT_FALSE(save(QString(2, QChar(u'\0')), "x"));
    EXPECT_FALSE(store.lastError().isEmpty());
}

TEST_F(SettingsStoreTest, ValuesComeBackExactly) {
    const QStringList values = {
        "@Variant(x)", "  blanks  ", "", "\"q\";#=[x]\\", QStringLiteral(u"/home/用户/声音 1.wav"),
        "two\nlines"};
    for (int i = 0; i < values.size(); ++i) {
        ASSERT_TRUE(save(QStringLiteral("v%1").arg(i), values[i]));
    }
    for (int i = 0; i < values.size(); ++i) {
        EXPECT_EQ(get(QStringLiteral("v%1").arg(i)), values[i]);
    }
    EXPECT_EQ(QDir(home.path() + "/Brennet").entryList(QDir::Files | QDir::Hidden),
              QStringList{"Brennet.ini"});  // no temporary or lock file left behind
    // What a killed save left (our own temporary names, untouched for a while) goes with the next
    // one; a fresh one and the user's own files stay.
    const QString folder = home.path() + "/Brennet/Brennet.ini.";
    for (const QString name : {"apply-Ab12Cd", "apply-Zz99Yy.new", "apply-Zz99Yy.Qw34Er", "backup",
                               "apply-Ab12Cd.txt", "apply-fresh1"}) {
        QFile leftover(folder + name);
        ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
        leftover.setFileTime(QDateTime::currentDateTime().addSecs(name.endsWith("1") ? 0 : -60),
                             QFileDevice::FileModificationTime);
    }
    ASSERT_TRUE(save("v0", values[0]));
    EXPECT_EQ(QDir(home.path() + "/Brennet").entryList(QDir::Files | QDir::Hidden),
              QStringList({"Brennet.ini", "Brennet.ini.apply-Ab12Cd.txt",
                           "Brennet.ini.apply-fresh1", "Brennet.ini.backup"}));
    // A change of the same size within the same instant is seen at once.
    ASSERT_TRUE(save("v0", "@Variant(y)"));
    EXPECT_EQ(get("v0"), "@Variant(y)");

    // A hand-edited file: unquoted comma, blanks around "=".
    ASSERT_TRUE(writeFile(
        file(), "; mine\n[%U8BBE%U7F6E]\n%U589E%U52A0%20%20%20%20%20%20%20=12,5\nA = 1\n"));
    EXPECT_EQ(get(kStep), "12,5");
    EXPECT_EQ(get("A"), "1");

    // A settings file that links to one kept elsewhere stays a link.
    const QString target = home.path() + "/dotfiles/Brennet.ini";
    ASSERT_TRUE(writeFile(target, "[other]\nk=v\n"));
    QFile::remove(file());
    ASSERT_TRUE(QFile::link(target, file()));
    ASSERT_TRUE(save(kSound, "0"));
    EXPECT_TRUE(QFileInfo(file()).isSymLink());
    EXPECT_EQ(get("k", "other"), "v");
}

TEST_F(SettingsStoreTest, FilesItCannotReadAreLeftAlone) {
    // Garbage: defaults when read; kept byte for byte under a name of its own when written.
    QByteArray garbage("UserIcon=1\n\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe\x01", 27);
    ASSERT_TRUE(writeFile(file(), garbage));
    EXPECT_EQ(get("UserIcon"), "<default>");
    ASSERT_TRUE(save(kSound, "0")) << qPrintable(store.lastError());
    EXPECT_EQ(get(kSound), "0");
    const QStringList kept = QDir(home.path() + "/Brennet").entryList({"Brennet.ini.unreadable-*"});
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(readFile(home.path() + "/Brennet/" + kept[0]), garbage);

    // A folder in its place: defaults, and a write fails naming the file.
    QFile::remove(file());
    ASSERT_TRUE(writeFile(file() + "/inside", "x"));
    EXPECT_EQ(get(kSound), "<default>");
    EXPECT_FALSE(save(kSound, "0"));
    EXPECT_TRUE(store.lastError().contains(file())) << qPrintable(store.lastError());
    EXPECT_EQ(readFile(file() + "/inside"), "x");

    // No read permission (binds only ordinary users).
    QDir(file()).removeRecursively();
    ASSERT_TRUE(writeFile(file(), "[x]\na=1\n"));
    if (::geteuid() != 0) {
        ASSERT_TRUE(QFile::setPermissions(file(), QFileDevice::WriteOwner));
        EXPECT_EQ(get("a", "x"), "<default>");
        EXPECT_FALSE(save("a", "2", "x"));
        QFile::setPermissions(file(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        EXPECT_EQ(readFile(file()), "[x]\na=1\n");
    }
}

}  // namespace
