#pragma once
// Where the program keeps its settings: the application, the section and the value names,
// blanks and NULs included. The store reads a name up to its first NUL; the blanks after the
// step's name are part of it.

#include <QString>

namespace settingNames {

inline const QString kApplication = QStringLiteral("Brennet");
inline const QString kSection = QStringLiteral(u"设置") + QString(6, QChar(u'\0'));
inline const QString kStep = QStringLiteral(u"增加") + QString(7, QChar(u' '));
inline const QString kSound = QStringLiteral(u"声音") + QString(3, QChar(u'\0'));
inline const QString kUserIcon = QStringLiteral("UserIcon");
inline const QString kSoundFile = QStringLiteral("SoundFile");
inline const QString kIconFile = QStringLiteral("IconFile");

}  // namespace settingNames
