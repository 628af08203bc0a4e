#include "app/widgets/FileList.h"

#include "shares/FileAccess.h"

#include <string>
#include <vector>

namespace quorix {

namespace {
bool readFolder(const QString &folder, const QString &pattern, QStringList &out) {
    if (folder.isEmpty())
        return false;
    std::vector<std::string> names;
    const shares::Result result = shares::files().list(folder.toStdString(), pattern.toStdString(), names);
    if (!result.ok)
        return false;
    out.clear();
    out.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string &name : names)
        out << QString::fromStdString(name);
    return true;
}
} // namespace

FileList::FileList(QWidget *parent) : QListWidget(parent), m_pattern(QStringLiteral("*")) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemDoubleClicked, this, [this] { emit doubleClicked1(); });
}

QString FileList::path() const {
    return m_path;
}

bool FileList::setPath(const QString &folder) {
    QStringList names;
    if (!readFolder(folder, m_pattern, names))
        return false;
    m_path = folder;
    QListWidget::clear();
    addItems(names);
    return true;
}

QString FileList::pattern() const {
    return m_pattern;
}

void FileList::setPattern(const QString &pattern) {
    m_pattern = pattern;
    refresh();
}

void FileList::refresh() {
    QStringList names;
    if (!readFolder(m_path, m_pattern, names))
        return;
    // Keep the selected file selected when it is still there.
    const QString selected = listIndex() >= 0 ? list(listIndex()) : QString();
    QListWidget::clear();
    addItems(names);
    if (!selected.isEmpty())
        setListIndex(static_cast<int>(names.indexOf(selected)));
}

int FileList::listCount() const {
    return count();
}

QString FileList::list(int index) const {
    const QListWidgetItem *entry = item(index);
    return entry ? entry->text() : QString();
}

int FileList::listIndex() const {
    return currentRow();
}

void FileList::setListIndex(int index) {
    setCurrentRow(index >= 0 && index < count() ? index : -1);
}

} // namespace quorix
