#pragma once

// Attaching database files from a folder and detaching databases, through the server's stored procedures.

#include <QString>

namespace quorix {

// folder + "\" + fileName, adding the backslash only when folder does not already end in one ("\" or "/").
QString joinFolder(const QString &folder, const QString &fileName);

// A file of the attach folder: the database is the name before its first "."; only a name whose text after
// that "." is "mdf" (any letter case) is attached, with its log file assumed to be database + ".ldf".
struct AttachFile {
    QString database;
    bool attach = false;
};
AttachFile attachFileOf(const QString &fileName);

// "EXEC sp_attach_db @dbname = N'D' ,@filename1=N'R\D.mdf'   ,@filename2=N'R\D.ldf'  ".
QString attachStatement(const QString &db, const QString &folder);
// "EXEC sp_detach_db 'D','true'" (statistics are not updated first); N'D' when D holds a character outside
// ASCII.
QString detachStatement(const QString &db);

} // namespace quorix
