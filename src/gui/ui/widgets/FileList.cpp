#include "gui/ui/widgets/FileList.h"

#include "core/shares/FileAccess.h"
#include "gui/ui/RunAside.h"

#include <QPointer>
#include <string>
#include <vector>

namespace quorix {

namespace {
bool readFolder(const QString &folder, const QString &pattern, QStringList &out) {
    if (folder.isEmpty())
        return false;
    std::vector<std::string> names;
    Outcome result;
    // A share that does not answer takes its time-out; the window keeps painting meanwhile.
    readAside([&] { result = shares::files().list(folder.toStdString(), pattern.toStdString(), names); });
    if (!result.ok())
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

bool FileList::read(const QString &folder, QStringList &names) {
    // While one read waits, a newer one (the next keystroke in a folder box) may start and finish; the
    // older result is then out of date and dropped, so the list always shows the newest request.
    const quint64 request = ++m_request;
    QPointer<FileList> self(this);
    const bool ok = readFolder(folder, m_pattern, names);
    return ok && self && request == m_request;
}

bool FileList::setPath(const QString &folder) {
    QStringList names;
    if (!read(folder, names))
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
    if (!read(m_path, names))
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

QStringList FileList::entries() const {
    QStringList names;
    for (int i = 0; i < count(); ++i)
        names << item(i)->text();
    return names;
}

int FileList::listIndex() const {
    return currentRow();
}

void FileList::setListIndex(int index) {
    setCurrentRow(index >= 0 && index < count() ? index : -1);
}

} // namespace quorix
