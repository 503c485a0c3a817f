#include "FileListBox.h"

#include "DirListBox.h"

#include <QRegularExpression>

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileListBox::setPath(const QString& folder, const QStringList& files) {
    path_ = DirListBox::normalized(folder);
    files_ = files;
    refresh();
}

void FileListBox::setPattern(const QString& pattern) {
    pattern_ = pattern;
    refresh();
}

QString FileListBox::FileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileListBox::refresh() {
    clear();
    QList<QRegularExpression> wildcards;
    for (const QString& p : pattern_.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        wildcards.append(QRegularExpression::fromWildcard(p.trimmed(), Qt::CaseInsensitive));
    }
    for (const QString& name : files_) {
        for (const QRegularExpression& wildcard : wildcards) {
            if (wildcard.match(name).hasMatch()) {
                addItem(name);
                break;
            }
        }
    }
}
