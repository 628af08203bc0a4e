#include "core/dbautils/SpeedTestSql.h"

#include "core/db/SqlQuote.h"

namespace quorix {

QString speedTestConnectionString(const QString &server) {
    return QStringLiteral("Provider=SQLOLEDB;Persist Security Info=True;Server=") + server +
           QStringLiteral(";UID=sa;Database=MASTER;Password=garden@584");
}

QString speedTestTable(const QString &db) {
    // An ordinary name reads as typed; any other is bracketed so that it can only be a name, and no name
    // at all is "[]", which the server refuses rather than reading "..SpeedTest" in its default database.
    return sqlName(db) + QStringLiteral("..SpeedTest");
}

QString createSpeedTestStatement(const QString &db) {
    return QStringLiteral("CREATE TABLE ") + speedTestTable(db) + QStringLiteral(" (DESC2 varchar(100))");
}

QString insertSpeedTestStatement(const QString &db, int row) {
    return QStringLiteral("insert into ") + speedTestTable(db) + QStringLiteral(" (DESC2) VALUES ('") +
           QString::number(row) + QStringLiteral("')");
}

QString deleteSpeedTestStatement(const QString &db) {
    return QStringLiteral("delete top (1) from ") + speedTestTable(db) + QLatin1Char(' ');
}

QString readSpeedTestStatement(const QString &db) {
    return QStringLiteral("select top ") + QString::number(kSpeedTestRows) + QStringLiteral(" * from ") +
           speedTestTable(db);
}

QString secondsText(double seconds) {
    QString text = QString::number(seconds, 'f', 6);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

} // namespace quorix
