#pragma once

// Partnering a restored database with its copy on the other server, bringing a database back online,
// clearing its connections and dropping it. D is the database name.
// Texts are written as sqlLiteral writes them: 'x' as shown below, N'x' when x holds a character outside
// ASCII.

#include "core/db/ConnectionString.h"

#include <QString>
#include <QStringList>

namespace quorix {

// "ALTER DATABASE [D] SET PARTNER = 'TCP://A:5024'  ", A being the other server's address.
QString setPartnerStatement(const QString &db, const QString &partnerAddress);
// "ALTER DATABASE [D] SET PARTNER SAFETY OFF  ": the session goes asynchronous (high performance).
QString setSafetyOffStatement(const QString &db);

// "ALTER DATABASE D SET PARTNER OFF ".
QString partnerOffStatement(const QString &db);
// "RESTORE DATABASE D WITH RECOVERY  ".
QString recoverDatabaseStatement(const QString &db);
// "ALTER DATABASE D SET RECOVERY FULL" (also the whole of "Full Recovery Mode").
QString fullRecoveryStatement(const QString &db);
// Make Online: partner off, recovery, full recovery model, in that order; each is sent whatever the
// outcome of the one before.
QStringList makeOnlineStatements(const QString &db);

// One-line batch that kills every connection to D, repeating for up to about five minutes until none is
// left. @dbname holds any database name in full (up to 128 characters).
QString clearConnectionsBatch(const QString &db);

// "DROP DATABASE D ".
QString dropDatabaseStatement(const QString &db);

} // namespace quorix
