#include "SettingsStore.h"

#include "NulText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMap>
#include <QRegularExpression>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Whether the bytes are an INI file the store can take apart without guessing: UTF-8 text
// without control characters, every line blank, a comment, a [section], a name=value pair or
// the continuation of a value that ends in a backslash. Anything else (binary garbage, some
// other program's file) is left to the user rather than read as settings.
bool isParseableIni(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return false;
    }
    bool continuation = false;
    for (const QString& rawLine : text.split(u'\n')) {
        QString line = rawLine;
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        for (const QChar c : line) {
            if (c.unicode() < 0x20 && c != u'\t') {
                return false;
            }
        }
        const QString trimmed = line.trimmed();
        const bool continues = trimmed.endsWith(u'\\');
        if (continuation || trimmed.isEmpty() || trimmed.startsWith(u';') ||
            trimmed.startsWith(u'#') || trimmed.startsWith(u'\xFEFF')) {
            continuation = continuation && continues;
            continue;
        }
        if (trimmed.startsWith(u'[')) {
            if (!trimmed.contains(u']')) {
                return false;
            }
        } else if (!trimmed.contains(u'=')) {
            return false;
        }
        continuation = continues;
    }
    return true;
}

// A value stored as a list (an unquoted comma in a hand-edited file) comes back as the text
// it was, with its commas.
QString valueText(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QStringList) {
        return value.toStringList().join(u',');
    }
    return value.toString();
}

// Every key of the settings with its text.
QMap<QString, QString> contents(const QSettings& settings) {
    QMap<QString, QString> map;
    for (const QString& key : settings.allKeys()) {
        map.insert(key, valueText(settings.value(key)));
    }
    return map;
}

// A lock older than this is taken for the leftover of a program that died holding it; a leftover
// temporary file is judged by the same age.
constexpr int kStaleMs = 10000;

// Our temporary files beside the settings file: <file>.apply-XXXXXX while it is written (and
// QSettings' own <file>.apply-XXXXXX.XXXXXX inside that), with ".new" added while it is read back.
QString temporaryTemplate(const QString& path) {
    return path + QStringLiteral(".apply-XXXXXX");
}

// Removes what an Apply that was killed half-way left beside the settings file: only files of our
// own temporary pattern, and only ones old enough that no Apply still running can own them (one
// that runs holds the lock, which the caller holds now). Anything else in the folder is left.
void removeLeftovers(const QString& path) {
    const QFileInfo settings(path);
    const QRegularExpression ours(
        QStringLiteral("^%1\\.apply-[A-Za-z0-9]{6}(\\.new|\\.[A-Za-z0-9]{6})?$")
            .arg(QRegularExpression::escape(settings.fileName())));
    const QDateTime oldEnough = QDateTime::currentDateTimeUtc().addMSecs(-kStaleMs);
    const QDir folder = settings.absoluteDir();
    for (const QFileInfo& entry :
         folder.entryInfoList({settings.fileName() + QStringLiteral(".apply-*")},
                              QDir::Files | QDir::Hidden | QDir::System)) {
        if (ours.match(entry.fileName()).hasMatch() && !entry.isSymLink() &&
            entry.lastModified().toUTC() < oldEnough) {
            QFile::remove(entry.absoluteFilePath());
        }
    }
}

// Flushes a file (or a folder's entries) to the disk, so a power cut after a rename finds the
// renamed file whole rather than empty.
bool syncToDisk(const QString& path, bool folder) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_CLOEXEC | (folder ? O_DIRECTORY : 0));
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

SettingsStore::SettingsStore(const QString& configHome) : configHome_(configHome) {
    if (configHome_.isEmpty()) {
        const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
        configHome_ =
            QDir::isAbsolutePath(xdg) ? xdg : QDir::homePath() + QStringLiteral("/.config");
    }
}

QString SettingsStore::fileName(const QString& AppName) const {
    return QDir::cleanPath(configHome_ + QStringLiteral("/Brennet/") + upToFirstNul(AppName) +
                           QStringLiteral(".ini"));
}

QString SettingsStore::rtcGetSetting(const QString& AppName, const QString& Section,
                                     const QString& Key, const QString& Default) const {
    const QString key = upToFirstNul(Key);
    if (upToFirstNul(AppName).isEmpty() || key.isEmpty()) {
        return Default;
    }
    const QString path = fileName(AppName);
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || !info.isReadable()) {
        return Default;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !isParseableIni(file.readAll())) {
        return Default;
    }
    file.close();

    // A QSettings that changes nothing never writes its file.
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        return Default;
    }
    settings.beginGroup(upToFirstNul(Section));
    const QVariant value = settings.value(key);
    return value.isValid() ? valueText(value) : Default;
}

bool SettingsStore::rtcSaveSetting(const QString& AppName, const QString& Section,
                                   const QString& Key, const QString& Setting) {
    return saveSettings(AppName, Section, {{Key, Setting}});
}

bool SettingsStore::saveSettings(const QString& AppName, const QString& Section,
                                 const Values& values) {
    lastError_.clear();
    for (const auto& [key, value] : values) {
        if (upToFirstNul(AppName).isEmpty() || upToFirstNul(key).isEmpty()) {
            lastError_ = QStringLiteral("a setting needs an application and a value name");
            return false;
        }
    }
    const QString path = replacedPath(fileName(AppName));
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        lastError_ = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }

    // Two instances saving at once must not lose each other's values.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleMs);
    if (!lock.tryLock(5000)) {
        lastError_ = QStringLiteral("%1 is locked by another program").arg(path);
        return false;
    }
    removeLeftovers(path);

    Existing existing;
    if (!readExisting(path, &existing)) {
        return false;
    }
    // The new file is made beside the old one and then renamed over it, so the old file stays
    // whole until the new one is complete on disk. The temporary name is new every time, so
    // QSettings' per-file cache never holds a value that did not reach the disk.
    QTemporaryFile temporary(temporaryTemplate(path));
    if (!writeNewFile(temporary, existing, Section, values)) {
        return false;
    }
    stampAfter(temporary.fileName(), existing.modified);
    QString asideName;
    if (existing.present && !existing.parseable && !keepAside(path, &asideName)) {
        return false;
    }
    if (!replaceFile(temporary, path)) {
        if (!asideName.isEmpty()) {
            QFile::remove(asideName);
        }
        return false;
    }
    if (!asideName.isEmpty()) {
        qWarning("Brennet: %s could not be read as settings; it was kept as %s",
                 qUtf8Printable(path), qUtf8Printable(asideName));
    }
    return true;
}

// A settings file that is a link to one kept elsewhere stays a link: the file it names is the
// one replaced.
QString SettingsStore::replacedPath(const QString& path) {
    const QFileInfo linkInfo(path);
    return linkInfo.isSymLink() && linkInfo.exists() ? linkInfo.canonicalFilePath() : path;
}

// What is there now: nothing, settings to keep, or a file we cannot read as settings.
bool SettingsStore::readExisting(const QString& path, Existing* existing) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return true;
    }
    if (!info.isFile()) {
        lastError_ = QStringLiteral("%1 is not a regular file; it was left as it is").arg(path);
        return false;
    }
    QFile current(path);
    if (!current.open(QIODevice::ReadOnly)) {
        lastError_ = QStringLiteral("%1 cannot be read (%2); it was left as it is")
                         .arg(path, current.errorString());
        return false;
    }
    existing->present = true;
    existing->bytes = current.readAll();
    existing->parseable = isParseableIni(existing->bytes);
    existing->permissions = info.permissions();
    existing->modified = info.fileTime(QFileDevice::FileModificationTime);
    return true;
}

// The kept settings with the new values in the temporary file, read back before it may
// replace the old one.
bool SettingsStore::writeNewFile(QTemporaryFile& temporary, const Existing& existing,
                                 const QString& Section, const Values& values) {
    const QString folder = QFileInfo(temporary.fileTemplate()).absolutePath();
    if (!temporary.open()) {
        lastError_ = QStringLiteral("cannot write in %1 (%2)").arg(folder, temporary.errorString());
        return false;
    }
    if (existing.parseable) {
        temporary.setPermissions(existing.permissions);
        if (temporary.write(existing.bytes) != existing.bytes.size() || !temporary.flush()) {
            lastError_ =
                QStringLiteral("cannot write in %1 (%2)").arg(folder, temporary.errorString());
            return false;
        }
    }
    temporary.close();
    QMap<QString, QString> written;
    bool ok = false;
    {
        QSettings settings(temporary.fileName(), QSettings::IniFormat);
        settings.beginGroup(upToFirstNul(Section));
        for (const auto& [key, value] : values) {
            settings.setValue(upToFirstNul(key), value);
        }
        settings.endGroup();
        settings.sync();
        written = contents(settings);
        ok = settings.status() == QSettings::NoError;
    }
    // QSettings takes a short write (a full disk, a file size limit) for success. The new file
    // is read back under a name QSettings has not seen yet before it may replace the old one.
    if (ok) {
        ok = temporary.rename(temporary.fileName() + QStringLiteral(".new"));
    }
    if (ok) {
        QSettings check(temporary.fileName(), QSettings::IniFormat);
        ok = check.status() == QSettings::NoError && contents(check) == written;
    }
    if (ok) {
        ok = syncToDisk(temporary.fileName(), false);
    }
    if (!ok) {
        lastError_ =
            QStringLiteral("cannot write in %1 (the disk may be full or the folder read-only)")
                .arg(folder);
    }
    return ok;
}

// QSettings reads a file it has read before again only when its size or modification time
// changed. A new file of the same size made within one tick of the file system's clock would
// pass for the old one, so it is dated after it.
void SettingsStore::stampAfter(const QString& file, const QDateTime& previous) {
    QFile written(file);
    if (previous.isValid() &&
        QFileInfo(file).fileTime(QFileDevice::FileModificationTime) <= previous &&
        written.open(QIODevice::ReadOnly)) {
        written.setFileTime(previous.addMSecs(1), QFileDevice::FileModificationTime);
    }
}

// A file that could not be read as settings is kept under a name of its own rather than
// overwritten: it may be the user's, and only the user can say what it was.
bool SettingsStore::keepAside(const QString& path, QString* asideName) {
    const QString stem = path + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    *asideName = stem;
    for (int n = 2; QFileInfo::exists(*asideName) || QFileInfo(*asideName).isSymLink(); ++n) {
        *asideName = stem + QStringLiteral("-%1").arg(n);
    }
    // A second name for the same bytes where the file system allows it, else a copy.
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(*asideName).constData()) !=
            0 &&
        !QFile::copy(path, *asideName)) {
        lastError_ = QStringLiteral(
                         "%1 cannot be read as settings and could not be kept as %2; it was left "
                         "as it is")
                         .arg(path, *asideName);
        asideName->clear();
        return false;
    }
    return true;
}

// The complete new file takes the old one's place in one rename.
bool SettingsStore::replaceFile(QTemporaryFile& temporary, const QString& path) {
    if (::rename(QFile::encodeName(temporary.fileName()).constData(),
                 QFile::encodeName(path).constData()) != 0) {
        lastError_ = QStringLiteral("cannot replace %1 (%2)").arg(path, systemError());
        return false;
    }
    temporary.setAutoRemove(false);                    // it is the settings file now
    syncToDisk(QFileInfo(path).absolutePath(), true);  // the rename itself
    return true;
}
