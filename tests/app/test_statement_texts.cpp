// Every statement builder of the tool, each with ordinary inputs, against the full text it must send,
// written out from the tool's own texts and the server's documented syntax (ALTER DATABASE ... SET
// PARTNER, BACKUP, RESTORE, CREATE ENDPOINT, sp_attach_db, sp_detach_db, sp_defaultdb, DBCC CHECKTABLE,
// the catalog views). Catalog views and their columns are named in their documented lower case, which a
// database of a case-sensitive or binary collation insists on.

#include "TestText.h"
#include "core/db/RestoreFiles.h"
#include "core/db/SqlQuote.h"
#include "core/db/TableColumns.h"
#include "core/dbautils/SpeedTestSql.h"
#include "core/masking/ProductionGuard.h"
#include "core/masking/RecordRangeSql.h"
#include "core/mirroring/AttachSql.h"
#include "core/mirroring/BackupSql.h"
#include "core/mirroring/DefaultScripts.h"
#include "core/mirroring/PartnerSql.h"
#include "core/mirroring/RestoreSql.h"
#include "core/mirroring/ScriptSplitter.h"
#include "core/restore/FolderRestoreSql.h"
#include "core/status/StatusSql.h"
#include "core/tablecopy/TableCopySql.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/StatementProgress.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace quorix;

namespace {

struct Statement {
    const char *builder;
    QString sent;
    QString expected;
};

const QString kMir = QStringLiteral("p:\\backup\\MIR\\");
const TableRef kPatients{QStringLiteral("QRIX"), QString(), QStringLiteral("Patients")};
const TableRef kOrders{QStringLiteral("QRIX"), QStringLiteral("sales"), QStringLiteral("Orders")};

// The batch of a default mirroring script that creates the endpoint, as the script runner sends it.
QString endpointBatch(const QString &script) {
    for (const ScriptBatch &b : splitScript(script))
        if (b.text.startsWith(QLatin1String("CREATE ENDPOINT")))
            return b.text;
    return {};
}

std::vector<Statement> statements() {
    const QString moves =
        moveList({{"Billing_Data", "Billing.mdf"}, {"Billing_Log", "Billing_log.LDF"}}, "F", "L");
    return {
        // Partnering, recovery and removal.
        {"setPartnerStatement", setPartnerStatement("Billing", "10.0.0.2"),
         "ALTER DATABASE [Billing] SET PARTNER = 'TCP://10.0.0.2:5024'  "},
        {"setSafetyOffStatement", setSafetyOffStatement("Billing"),
         "ALTER DATABASE [Billing] SET PARTNER SAFETY OFF  "},
        {"partnerOffStatement", partnerOffStatement("Billing"), "ALTER DATABASE Billing SET PARTNER OFF "},
        {"recoverDatabaseStatement", recoverDatabaseStatement("Billing"),
         "RESTORE DATABASE Billing WITH RECOVERY  "},
        {"fullRecoveryStatement", fullRecoveryStatement("Billing"),
         "ALTER DATABASE Billing SET RECOVERY FULL"},
        {"dropDatabaseStatement", dropDatabaseStatement("Billing"), "DROP DATABASE Billing "},
        {"clearConnectionsBatch", clearConnectionsBatch("Billing"),
         "USE master ;  DECLARE @dbname nvarchar(128), @spid varchar(10), @start datetime "
         "SELECT @start = current_timestamp, @dbname = 'Billing' "
         "while(exists(Select * FROM sysprocesses WHERE dbid = db_id(@dbname)) AND "
         " datediff(mi, @start, current_timestamp) < 5)     BEGIN      DECLARE spids CURSOR FOR "
         "      SELECT convert(varchar, spid) FROM sysprocesses        WHERE dbid = db_id(@dbname) "
         "     OPEN spids      While (1 = 1)      BEGIN       FETCH spids INTO @spid "
         "      IF @@fetch_status < 0 BREAK       exec('kill ' + @spid)      End      DEALLOCATE spids End "},
        // Backup, restore on the Mirror, the file list.
        {"backupDatabaseStatement", backupDatabaseStatement("Billing", kMir),
         "BACKUP DATABASE Billing TO DISK = 'p:\\backup\\MIR\\Billing.BAK'   WITH FORMAT"},
        {"backupLogStatement", backupLogStatement("Billing", kMir),
         "BACKUP Log  Billing TO DISK = 'p:\\backup\\MIR\\Billing_log.BAK'   WITH FORMAT"},
        {"restoreFileListStatement", restoreFileListStatement("Billing", kMir),
         " RESTORE FILELISTONLY  FROM DISK = 'p:\\backup\\MIR\\Billing.bak' WITH FILE = 1"},
        {"restoreDatabaseStatement", restoreDatabaseStatement("Billing", kMir, moves),
         "RESTORE DATABASE  Billing FROM DISK = 'p:\\backup\\MIR\\Billing.bak' With    MOVE  'Billing_Data' "
         "TO 'F:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO 'L:\\LDF\\Billing_log.LDF',  NORECOVERY   "},
        {"restoreLogStatement (Mirror)", restoreLogStatement("Billing", kMir, moves, 1),
         "RESTORE LOG  Billing FROM DISK = 'p:\\backup\\MIR\\Billing_log.bak' With   MOVE  'Billing_Data' "
         "TO 'F:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO 'L:\\LDF\\Billing_log.LDF',  NORECOVERY  "},
        {"restoreLogStatement (Main)", restoreLogStatement("Billing", kMir, QString(), 0),
         "RESTORE LOG  Billing FROM DISK = 'p:\\backup\\MIR\\Billing_log.bak' With   RECOVERY  "},
        {"recoverFromFullBackupStatement", recoverFromFullBackupStatement("Billing"),
         "RESTORE DATABASE Billing WITH RECOVERY"},
        {"restoreOntoMainStatement",
         restoreOntoMainStatement("Billing", "d:\\quorix\\db\\bak\\Billing.bak", moves),
         "RESTORE DATABASE  Billing FROM DISK = 'd:\\quorix\\db\\bak\\Billing.bak' With   MOVE  "
         "'Billing_Data' "
         "TO 'F:\\db\\Billing.mdf',  MOVE  'Billing_Log' TO 'L:\\LDF\\Billing_log.LDF',  Replace "},
        // Attach and detach.
        {"attachStatement", attachStatement("Billing", "d:\\data"),
         "EXEC sp_attach_db @dbname = N'Billing' ,@filename1=N'd:\\data\\Billing.mdf'   "
         ",@filename2=N'd:\\data\\Billing.ldf'  "},
        {"detachStatement", detachStatement("Billing"), "EXEC sp_detach_db 'Billing','true'"},
        // The endpoint of each server's certificate script.
        {"defaultMainCreateScript (endpoint)", endpointBatch(defaultMainCreateScript()),
         "CREATE ENDPOINT Endpoint_Mirroring\r\n   STATE = STARTED\r\n   AS TCP ( LISTENER_PORT=5024\r\n"
         "      , LISTENER_IP = ALL )\r\n   FOR DATABASE_MIRRORING ( AUTHENTICATION = CERTIFICATE "
         "Mirroring\r\n"
         "      , ENCRYPTION = REQUIRED ALGORITHM RC4\r\n      , ROLE = ALL )\r"},
        {"defaultMirrorCreateScript (endpoint)", endpointBatch(defaultMirrorCreateScript()),
         "CREATE ENDPOINT Endpoint_Mirroring\r\n   STATE = STARTED\r\n   AS TCP ( LISTENER_PORT=5024\r\n"
         "      , LISTENER_IP = ALL )\r\n   FOR DATABASE_MIRRORING ( AUTHENTICATION = CERTIFICATE "
         "mirroringB\r\n"
         "      , ENCRYPTION = REQUIRED ALGORITHM RC4\r\n      , ROLE = ALL )\r"},
        // The database list, the table browser, the sessions' own reads.
        {"DatabaseLists::kListStatement", DatabaseLists::kListStatement,
         "SELECT name FROM sys.databases where database_id >= 5 order by name "},
        {"DatabaseLists::kTableSizeStatement", DatabaseLists::kTableSizeStatement,
         " SELECT "
         "    t.name AS TableName,"
         "    s.name AS SchemaName,"
         "    p.rows AS RowCounts,"
         "    SUM(a.total_pages) * 8 AS TotalSpaceKB, "
         "    SUM(a.used_pages) * 8 AS UsedSpaceKB, "
         "    (SUM(a.total_pages) - SUM(a.used_pages)) * 8 AS UnusedSpaceKB"
         " FROM "
         "    sys.tables t"
         " INNER JOIN sys.indexes i ON t.object_id = i.object_id"
         " INNER JOIN sys.partitions p ON i.object_id = p.object_id AND i.index_id = p.index_id"
         " INNER JOIN "
         "    sys.allocation_units a ON p.partition_id = a.container_id"
         " LEFT OUTER JOIN "
         "    sys.schemas s ON t.schema_id = s.schema_id"
         " WHERE "
         "    t.name NOT LIKE 'dt%' "
         "    AND t.is_ms_shipped = 0"
         "    AND i.object_id > 255 "
         " GROUP BY "
         "    t.name, s.name, p.rows"
         " ORDER BY "
         "    TotalSpaceKB desc"},
        {"useStatement", useStatement("QRIX2"), "Use QRIX2"},
        {"insertStatement", insertStatement("QRIX2..Patients", {"id", "LastName"}),
         "INSERT INTO QRIX2..Patients (id, LastName) VALUES (?, ?)"},
        {"tableColumnsCatalogQuery", tableColumnsCatalogQuery("Billing..orders"),
         "SELECT c.name, c.is_identity, c.is_computed, CAST(CASE WHEN c.system_type_id = 189 THEN 1 ELSE 0 "
         "END AS bit) AS is_rowversion FROM Billing.sys.columns AS c WHERE c.object_id = "
         "OBJECT_ID(N'Billing..orders') ORDER BY c.column_id"},
        {"progressQuery", progressQuery(),
         "SELECT r.percent_complete, r.estimated_completion_time FROM sys.dm_exec_requests r JOIN "
         "sys.dm_exec_sessions s ON s.session_id = r.session_id JOIN sys.dm_exec_sessions me ON "
         "me.session_id = @@SPID WHERE s.host_name = me.host_name AND s.host_process_id = "
         "me.host_process_id AND s.program_name = me.program_name AND r.session_id <> @@SPID AND "
         "(r.command LIKE 'BACKUP%' OR r.command LIKE 'RESTORE%')"},
        // The anonymizer's look at the database it would change.
        {"mirroringRoleStatement", mirroringRoleStatement("Patient data"),
         "SELECT mirroring_role_desc FROM sys.database_mirroring WHERE database_id = DB_ID(N'Patient data')"},
        // The table tools.
        {"useDirectStatement", useDirectStatement("QRIX"), "use QRIX"},
        {"useSecondStatement", useSecondStatement("QRIX"), "Use QRIX2"},
        {"existenceCheck", existenceCheck(tableName(kOrders)),
         "SELECT * FROM sys.objects WHERE object_id = OBJECT_ID(N'sales.Orders') AND type in (N'U')"},
        {"identityInsert", identityInsert(secondIdentityTable(kPatients), true),
         "SET IDENTITY_INSERT QRIX2.dbo.Patients ON"},
        {"createSecondByRecord", createSecondByRecord(kPatients),
         "SELECT top 1 * INTO QRIX2..Patients FROM QRIX..Patients"},
        {"truncateSecond", truncateSecond(kPatients), "truncate table QRIX2..Patients "},
        {"selectAllFrom", selectAllFrom(sourceTable(kOrders)), "SELECT * FROM QRIX.sales.Orders"},
        {"dropNew2", dropNew2(kPatients), "drop table QRIX..Patients_NEW2 "},
        {"readFirstRow", readFirstRow(kPatients), "select top 1 * from  QRIX..Patients"},
        {"createNew2", createNew2(kPatients),
         "select top  1 * into QRIX..Patients_NEW2  from QRIX..Patients"},
        {"truncateNew2", truncateNew2(kPatients), "truncate table QRIX..Patients_NEW2  "},
        {"readFirstRowBare", readFirstRowBare(kPatients), "select top 1 * from  Patients"},
        {"copyIntoStatement", copyIntoStatement(kPatients, bracketedColumns({"id", "LastName"})),
         "INSERT into QRIX2..Patients ([id],[LastName]) SELECT [id],[LastName] from QRIX..Patients"},
        {"cloneStatement", cloneStatement(kPatients, bareColumns({"id", "LastName"})),
         "INSERT INTO QRIX2..Patients (id,LastName) SELECT id,LastName    From QRIX..Patients"},
        {"copyStructure", copyStructure(kPatients), "select  * into QRIX2..Patients  from QRIX..Patients"},
        {"dropSecond", dropSecond(kPatients), "drop table QRIX2..Patients "},
        {"truncateTable", truncateTable(kPatients), "Truncate Table   Patients "},
        {"checkTable", checkTable(kOrders), "DBCC CHECKtable('sales.Orders')"},
        {"singleUserStatement", singleUserStatement("QRIX"),
         "ALTER DATABaSE QRIX SET SINGLE_USER WITH ROLLBACK IMMEDIATE"},
        {"multiUserStatement", multiUserStatement("QRIX"), "ALTER DATABaSE QRIX SET MULTI_USER "},
        {"rowCountStatement", rowCountStatement(kPatients),
         "SELECT CONVERT(bigint, rows) as RCNT from sysindexes WHERE id = OBJECT_ID('Patients') AND indid < "
         "2"},
        // The record-range copy.
        {"defaultDatabaseStatement", defaultDatabaseStatement("sa", "Patient_data"),
         " Exec sp_defaultdb @loginame='sa', @defdb='Patient_data'"},
        {"objectIdQuery", objectIdQuery("Patient_data", "tbmaster"),
         "Select OBJECT_ID('Patient_data..tbmaster')"},
        {"idnumColumnQuery", idnumColumnQuery("245575913"),
         "Select * From sys.columns where object_id = '245575913'  and name ='idnum' "},
        {"mirrorTableQuery", mirrorTableQuery("tbmaster"), "select * from sys.tables where name='tbmaster'"},
        {"rangeQuery", rangeQuery("Patient_data", "tbmaster", "106300", "106310"),
         "select * from Patient_data..tbmaster where idnum >= '106300' and idnum <= '106310'"},
        {"recordQuery", recordQuery("Patient_data", "tbmaster", "106301"),
         "Select * from   Patient_data..tbmaster where idnum = '106301' "},
        {"insertRecordStatement", insertRecordStatement("Patient_data", "tbmaster", {"idnum", "LastName"}),
         "INSERT INTO Patient_data..tbmaster (idnum, LastName) VALUES (?, ?)"},
        {"insertRecordStatement (no field)", insertRecordStatement("Patient_data", "tbmaster", {}),
         "INSERT INTO Patient_data..tbmaster DEFAULT VALUES"},
        // The speed test.
        {"createSpeedTestStatement", createSpeedTestStatement("QRIX"),
         "CREATE TABLE QRIX..SpeedTest (DESC2 varchar(100))"},
        {"insertSpeedTestStatement", insertSpeedTestStatement("QRIX", 7),
         "insert into QRIX..SpeedTest (DESC2) VALUES ('7')"},
        {"deleteSpeedTestStatement", deleteSpeedTestStatement("QRIX"),
         "delete top (1) from QRIX..SpeedTest "},
        {"readSpeedTestStatement", readSpeedTestStatement("QRIX"), "select top 5000 * from QRIX..SpeedTest"},
        // The Status tab and the pre-flight check.
        {"status::kDatabasesQuery", status::kDatabasesQuery,
         "SELECT d.name, d.state_desc, d.recovery_model_desc, m.mirroring_role_desc, m.mirroring_state_desc, "
         "m.mirroring_safety_level_desc, m.mirroring_partner_name, (SELECT SUM(CAST(f.size AS bigint)) * 8 "
         "FROM sys.master_files f WHERE f.database_id = d.database_id) AS size_kb FROM sys.databases d LEFT "
         "JOIN sys.database_mirroring m ON m.database_id = d.database_id WHERE d.database_id >= 5 ORDER BY "
         "d.name"},
        {"status::kCountersQuery", status::kCountersQuery,
         "SELECT RTRIM(instance_name) AS database_name, RTRIM(counter_name) AS counter_name, cntr_value FROM "
         "sys.dm_os_performance_counters WHERE object_name LIKE '%Database Mirroring%' AND counter_name IN "
         "('Log Send Queue KB', 'Redo Queue KB', 'Log Bytes Sent/sec', 'Redo Bytes/sec')"},
        {"status::kEndpointQuery", status::kEndpointQuery,
         "SELECT e.name, e.state_desc, e.connection_auth_desc, t.port, c.name AS certificate_name, "
         "c.thumbprint FROM master.sys.database_mirroring_endpoints e LEFT JOIN master.sys.tcp_endpoints t "
         "ON t.endpoint_id = e.endpoint_id LEFT JOIN master.sys.certificates c ON c.certificate_id = "
         "e.certificate_id"},
        {"status::kCertificatesQuery", status::kCertificatesQuery,
         "SELECT name, thumbprint FROM master.sys.certificates"},
        {"status::kPartnerLoginsQuery", status::kPartnerLoginsQuery,
         "SELECT p.name, e.name AS endpoint_name, sp.state_desc FROM master.sys.server_principals p LEFT "
         "JOIN "
         "master.sys.server_permissions sp ON sp.grantee_principal_id = p.principal_id AND sp.class = 105 "
         "AND "
         "sp.permission_name = 'CONNECT' LEFT JOIN master.sys.endpoints e ON e.endpoint_id = sp.major_id AND "
         "e.type_desc = 'DATABASE_MIRRORING' WHERE p.name IN ('mirroring', 'mirroringB')"},
    };
}

} // namespace

TEST(StatementTexts, EveryBuilderSendsTheDocumentedText) {
    // A catalog view or a column reached through a one-letter alias, in any letter case.
    static const QRegularExpression catalogName(
        QStringLiteral(R"((?:\bsys\.|\b[A-Za-z]\.)([A-Za-z_]+)|\b(sys(?:indexes|objects|processes))\b)"),
        QRegularExpression::CaseInsensitiveOption);
    for (const Statement &s : statements()) {
        SCOPED_TRACE(s.builder);
        EXPECT_EQ(s.sent, s.expected);
        for (auto it = catalogName.globalMatch(s.sent); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QString name = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
            EXPECT_EQ(name, name.toLower()) << "catalog name not in its documented case";
        }
    }
}
