#pragma once

// The renaming buttons that cut dates out of backup file names before a folder restore: "Rename bak files
// (remove date)" on the "Restore" tab, for the files of Main's backup share (File1), and the two "Rename
// files " buttons on the "Restore Dir" tab, for the files of the restore folder (File2(0) and File2(1)).
// Each takes its list's entries as they stand when pressed, logs the old and the new path of each file
// before renaming it, and refreshes the list at the end. The first rename that fails ends the run with a
// message box; the files renamed before it stay renamed.

#include <QString>

namespace quorix {

struct Form;
class LogPanes;

class BackupRenames {
public:
    // Wires cmdRename, cmdRenameDir(0) and cmdRenameDir(1).
    BackupRenames(Form &form, const LogPanes &log);

    // The files of File1, in \\<Main server>\backup\, cut at their first year marker ("_1990" to "_2099").
    void cmdRename_Click();
    // The files of File2(index) in the folder of txtRestoreDir, cut at the text of txtSeparator. A closing
    // backslash is added to txtRestoreDir first. An empty separator or an empty folder box renames nothing
    // and says so.
    void cmdRenameDir_Click(int index);

private:
    // Logs both paths and renames; a failure is shown in a message box. False when it failed.
    bool renameOne(const QString &from, const QString &to);

    Form &m_form;
    const LogPanes &m_log;
};

} // namespace quorix
