#include "core/mirroring/DefaultScripts.h"

#include <QStringList>

namespace quorix {

namespace {

// Statements separated by "GO" lines with a blank line between.
QString joinStatements(const QList<QStringList> &statements) {
    QStringList lines;
    for (const QStringList &statement : statements) {
        if (!lines.isEmpty())
            lines << QString();
        lines << statement << QStringLiteral("GO");
    }
    return lines.join(QLatin1Char('\n'));
}

QStringList endpoint(const QString &certificate) {
    return {QStringLiteral("CREATE ENDPOINT Endpoint_Mirroring"),
            QStringLiteral("   STATE = STARTED"),
            QStringLiteral("   AS TCP ( LISTENER_PORT=5024"),
            QStringLiteral("      , LISTENER_IP = ALL )"),
            QStringLiteral("   FOR DATABASE_MIRRORING ( AUTHENTICATION = CERTIFICATE ") + certificate,
            QStringLiteral("      , ENCRYPTION = REQUIRED ALGORITHM RC4"),
            QStringLiteral("      , ROLE = ALL );")};
}

const QString kMasterKey = QStringLiteral("CREATE MASTER KEY ENCRYPTION BY PASSWORD = 'garden@584';");
const QString kUseMaster = QStringLiteral("USE master;");

QString createLogin(const QString &login) {
    return QStringLiteral("CREATE LOGIN ") + login + QStringLiteral(" WITH PASSWORD = 'garden@584';");
}

QString grantConnect(const QString &login) {
    return QStringLiteral("GRANT CONNECT ON ENDPOINT::Endpoint_Mirroring TO ") + login + QLatin1Char(';');
}

// The scripts' own warning, word for word as DBAs know it from the scripts they have run before.
const QString kNoNetworkPath =
    QStringLiteral("--Associate the certificate with the user do not use a network path, "
                   "SQL Server will give an error about the key not being valid");

} // namespace

QString defaultMirroringScript(int index) {
    switch (index) {
    case 0:
        return defaultResetScript();
    case 1:
        return defaultMainCreateScript();
    case 2:
        return defaultMirrorCreateScript();
    case 3:
        return defaultMainFinishScript();
    default:
        return {};
    }
}

QString defaultResetScript() {
    return QStringList{QStringLiteral("drop endpoint Endpoint_Mirroring"),
                       QStringLiteral("go"),
                       QStringLiteral("drop certificate mirroring"),
                       QStringLiteral("go"),
                       QStringLiteral("drop certificate mirroringB"),
                       QStringLiteral("go"),
                       QStringLiteral("drop MASTER KEY "),
                       QStringLiteral("go"),
                       QStringLiteral("  "),
                       QString(),
                       QStringLiteral("drop login mirroring"),
                       QStringLiteral("go"),
                       QStringLiteral("drop USER mirroring"),
                       QStringLiteral("go"),
                       QString(),
                       QStringLiteral("drop login mirroringB"),
                       QStringLiteral("go"),
                       QStringLiteral("drop USER mirroringB"),
                       QStringLiteral("go")}
        .join(QLatin1Char('\n'));
}

QString defaultMainCreateScript() {
    return joinStatements({
        {QStringLiteral(
             "--Master key of master on Main: it protects the private key of the certificate below"),
         kMasterKey},
        {QStringLiteral("--Server-level objects live in master"), kUseMaster},
        {QStringLiteral("CREATE CERTIFICATE Mirroring "),
         QStringLiteral("   WITH SUBJECT = 'SERVER1 Certificate';")},
        QStringList{
            QStringLiteral("--Mirroring endpoint on TCP port 5024, authenticated by Main's certificate")} +
            endpoint(QStringLiteral("Mirroring")),
        {QStringLiteral("--Export Main's certificate to the server's own disk, not to a network path"),
         QStringLiteral("BACKUP CERTIFICATE Mirroring  TO FILE = 'p:\\backup\\MIR\\SERVER1.cer';")},
        {QStringLiteral("--Login and user for the mirroring endpoint"), kUseMaster},
        {createLogin(QStringLiteral("mirroring"))},
        {QStringLiteral("--User of that login in master"),
         QStringLiteral("CREATE USER mirroring FOR LOGIN mirroring;")},
        {QStringLiteral("--Let the login connect to the mirroring endpoint"),
         grantConnect(QStringLiteral("mirroring"))},
    });
}

QString defaultMirrorCreateScript() {
    return joinStatements({
        {QStringLiteral("--Server-level objects live in master"), kUseMaster},
        {kMasterKey},
        {QStringLiteral("--The Mirror's own certificate for its endpoint"),
         QStringLiteral("CREATE CERTIFICATE mirroringB"),
         QStringLiteral("   WITH SUBJECT = 'SERVER2 Certificate';")},
        QStringList{QStringLiteral(
            "--Mirroring endpoint on TCP port 5024, authenticated by the Mirror's certificate")} +
            endpoint(QStringLiteral("mirroringB")),
        {QStringLiteral("BACKUP CERTIFICATE mirroringB TO FILE = 'P:\\backup\\MIR\\SERVER2.cer';")},
        {QStringLiteral("--Login for Main's endpoint to connect with"), kUseMaster},
        {createLogin(QStringLiteral("mirroring"))},
        {QStringLiteral("--User of that login in master"),
         QStringLiteral("CREATE USER mirroring FOR LOGIN mirroring;")},
        {kNoNetworkPath, QStringLiteral("CREATE CERTIFICATE mirroring"),
         QStringLiteral("   AUTHORIZATION mirroring"),
         QStringLiteral("   FROM FILE = 'P:\\BACKUP\\MIR\\SERVER1.cer' ")},
        {QStringLiteral("--Let the login connect to the mirroring endpoint"),
         grantConnect(QStringLiteral("mirroring"))},
    });
}

QString defaultMainFinishScript() {
    return joinStatements({
        {QStringLiteral("--Server-level objects live in master"), kUseMaster},
        {createLogin(QStringLiteral("mirroringB"))},
        {QStringLiteral("--User of the Mirror's login in master"),
         QStringLiteral("CREATE USER mirroringB FOR LOGIN mirroringB;")},
        {kNoNetworkPath, QStringLiteral("CREATE CERTIFICATE mirroringB"),
         QStringLiteral("   AUTHORIZATION mirroringB"),
         QStringLiteral("   FROM FILE = 'p:\\BACKUP\\mir\\SERVER2.cer'")},
        {QStringLiteral("--Let the Mirror's login connect to the mirroring endpoint"),
         grantConnect(QStringLiteral("mirroringB"))},
    });
}

} // namespace quorix
