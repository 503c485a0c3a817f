#pragma once
// The file list of the file chooser: the files of one folder whose names match Pattern, letter
// case ignored ("CLICK.WAV" matches "*.wav"). Path is the folder in the folder list's form,
// FileName the selected file's name (empty when none is selected). The list never reads the
// file system: it is given the folder's files, as the folder list's look found them.

#include <QListWidget>
#include <QString>
#include <QStringList>

class FileListBox : public QListWidget {
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    QString Path() const { return path_; }
    // The folder and all its files (in the order to show them); the list shows those that match.
    void setPath(const QString& folder, const QStringList& files);
    QString Pattern() const { return pattern_; }
    // One or more wildcards separated by ";".
    void setPattern(const QString& pattern);
    QString FileName() const;

private:
    void refresh();  // the selection is cleared

    QString path_;
    QStringList files_;
    QString pattern_ = QStringLiteral("*");
};
