#include "core/db/RestoreFiles.h"

#include "core/db/SqlQuote.h"

namespace quorix {

QString restoreFileListStatement(const QString &db, const QString &folder) {
    return QStringLiteral(" RESTORE FILELISTONLY ") + QStringLiteral(" FROM DISK = ") +
           sqlLiteral(folder + db + QStringLiteral(".bak")) + QStringLiteral(" WITH FILE = 1");
}

QString barePhysicalName(const QString &physicalPath) {
    return physicalPath.mid(physicalPath.lastIndexOf(QLatin1Char('\\')) + 1);
}

QString moveList(const RestoreFileEntries &files, const QString &dataDrive, const QString &logDrive) {
    QString moves;
    for (const RestoreFileEntry &f : files) {
        const bool toLogDrive =
            !logDrive.isEmpty() && f.physicalName.toUpper().contains(QLatin1String(".LDF"));
        const QString target = toLogDrive ? logDrive + QStringLiteral(":\\LDF\\") + f.physicalName
                                          : dataDrive + QStringLiteral(":\\db\\") + f.physicalName;
        moves += QStringLiteral(" MOVE  ") + sqlLiteral(f.logicalName) + QStringLiteral(" TO ") +
                 sqlLiteral(target) + QStringLiteral(", ");
    }
    return moves;
}

QString databaseNameOfBackupFile(const QString &fileName) {
    return fileName.section(QLatin1Char('.'), 0, 0);
}

} // namespace quorix
