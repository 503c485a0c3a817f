#pragma once
// The file list of the file chooser: the files of one folder whose names match Pattern, letter
// case ignored ("CLICK.WAV" matches "*.wav"). Path is the folder in the folder list's form,
// FileName the selected file's name (empty when none is selected).

#include <QListWidget>
#include <QString>

class FileListBox : public QListWidget {
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    QString Path() const { return path_; }
    void setPath(const QString& folder);
    QString Pattern() const { return pattern_; }
    // One or more wildcards separated by ";".
    void setPattern(const QString& pattern);
    QString FileName() const;

    // Re-reads the folder; the selection is cleared.
    void refresh();

private:
    QString path_;
    QString pattern_ = QStringLiteral("*");
};
