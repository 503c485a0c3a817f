#pragma once
// Per-user program settings: application, section and value name address a text value. Kept in
// an INI file per application, $XDG_CONFIG_HOME/Brennet/<application>.ini (~/.config by
// default), one INI group per section. Names end at their first NUL.

#include <QByteArray>
#include <QDateTime>
#include <QFileDevice>
#include <QList>
#include <QString>

#include <utility>

class QTemporaryFile;

class SettingsStore {
public:
    // configHome is the folder that holds Brennet/; empty means $XDG_CONFIG_HOME or ~/.config.
    explicit SettingsStore(const QString& configHome = QString());

    // The stored text, or Default when the file, section or value is missing or the file cannot
    // be read. Never writes anything.
    QString rtcGetSetting(const QString& AppName, const QString& Section, const QString& Key,
                          const QString& Default = QString()) const;

    // Stores the value, replacing the file atomically. Returns false when the value did not
    // reach the disk; lastError() then says why.
    bool rtcSaveSetting(const QString& AppName, const QString& Section, const QString& Key,
                        const QString& Setting);

    // Stores every value in one replacement of the file: all of them reach the disk or none.
    using Values = QList<std::pair<QString, QString>>;
    bool saveSettings(const QString& AppName, const QString& Section, const Values& values);

    QString lastError() const { return lastError_; }
    QString fileName(const QString& AppName) const;

private:
    // The steps of a save; each sets lastError_ when it fails.
    struct Existing {
        bool present = false;    // a file is there
        bool parseable = false;  // and it holds settings to keep
        QByteArray bytes;
        QFileDevice::Permissions permissions;
        QDateTime modified;
    };
    static QString replacedPath(const QString& path);
    bool readExisting(const QString& path, Existing* existing);
    bool writeNewFile(QTemporaryFile& temporary, const Existing& existing, const QString& Section,
                      const Values& values);
    static void stampAfter(const QString& file, const QDateTime& previous);
    bool keepAside(const QString& path, QString* asideName);
    bool replaceFile(QTemporaryFile& temporary, const QString& path);

    QString configHome_;
    QString lastError_;
};
