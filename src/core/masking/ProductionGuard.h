#pragma once

// The anonymizer never writes into production: before a run changes anything, the role of each database it
// would change is read on the Mirror's server, and a database that is the principal of a mirroring session
// (after a failover, the Mirror's copy is the one in use) is refused. A database without mirroring, or the
// mirror of a session, goes on.

#include <QString>
#include <QStringList>

namespace quorix {

// The database a work-list table names ("Billing..tbMaster", "[Patient data].dbo.tb" give Billing and
// Patient data); "" for a table named without one, which lies in the session's current database.
QString tableDatabase(const QString &table);

// The databases of the tables, each once, in the order met ("" standing for the session's current one).
QStringList databasesOf(const QStringList &tables);

// The read of a database's role: one row whose mirroring_role_desc is PRINCIPAL, MIRROR or NULL (not
// mirrored); for "" the session's current database.
QString mirroringRoleStatement(const QString &database);

// The refusal the user is shown for a principal on server.
QString principalRefusal(const QString &database, const QString &server);

} // namespace quorix
