#pragma once

// A list of the file names in one folder that match a pattern ("*.bak", "*.mdf;*.ldf"), as a file list box
// shows them. The folder may be local, a drive path (x:\MIR) or a UNC path (\\server\backup\MIR); it is read
// through the shares layer.

#include <QListWidget>

namespace quorix {

class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget *parent = nullptr);

    QString path() const;
    // Points the list at a folder and reads it. Returns false (and keeps the old folder and entries) when the
    // folder cannot be read.
    bool setPath(const QString &folder);
    QString pattern() const;
    void setPattern(const QString &pattern);
    void refresh(); // re-reads the folder; on failure the entries stay

    int listCount() const;
    QString list(int index) const; // file name without folder
    // All entries as they stand now: a run over the list takes them once, so that what it renames or
    // restores, and a refresh meanwhile, do not change what it walks.
    QStringList entries() const;
    int listIndex() const; // selected entry, -1 when none
    void setListIndex(int index);

signals:
    void doubleClicked1();

private:
    bool read(const QString &folder, QStringList &names); // false when unreadable or superseded

    QString m_path;
    QString m_pattern;
    quint64 m_request = 0;
};

} // namespace quorix
