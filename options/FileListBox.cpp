#include "FileListBox.h"

#include "DirListBox.h"

#include <QDir>

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileListBox::setPath(const QString& folder) {
    path_ = DirListBox::normalized(folder);
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
    if (path_.isEmpty()) {
        return;
    }
    QStringList filters;
    for (const QString& p : pattern_.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        filters.append(p.trimmed());
    }
    // Without QDir::CaseSensitive the name filters ignore letter case.
    const QStringList names = QDir(path_).entryList(
        filters, QDir::Files, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    addItems(names);
}
