#pragma once

// The reads behind the Status tab and the pre-flight check. Every one is a SELECT (or the read-only
// procedure that lists the drives' free space) and runs on SQL Server 2008 and later: they name only
// columns that servers have had since then, and the results are read by column name, so a column that a
// server leaves out shows empty.

#include <QString>

namespace quorix::status {

// The user databases of a server (database_id 5 and up) with their state, recovery model, mirroring role,
// state, safety level and partner, and their size in KB (data and log files).
inline constexpr const char *kDatabasesQuery =
    "SELECT d.name, d.state_desc, d.recovery_model_desc, m.mirroring_role_desc, m.mirroring_state_desc, "
    "m.mirroring_safety_level_desc, m.mirroring_partner_name, "
    "(SELECT SUM(CAST(f.size AS bigint)) * 8 FROM sys.master_files f WHERE f.database_id = d.database_id) "
    "AS size_kb "
    "FROM sys.databases d LEFT JOIN sys.database_mirroring m ON m.database_id = d.database_id "
    "WHERE d.database_id >= 5 ORDER BY d.name";

// The mirroring counters of each database: the log not yet sent and not yet redone (KB), and the bytes
// sent and redone so far (the rates come from two readings).
inline constexpr const char *kCountersQuery =
    "SELECT RTRIM(instance_name) AS database_name, RTRIM(counter_name) AS counter_name, cntr_value "
    "FROM sys.dm_os_performance_counters WHERE object_name LIKE '%Database Mirroring%' "
    "AND counter_name IN ('Log Send Queue KB', 'Redo Queue KB', 'Log Bytes Sent/sec', 'Redo Bytes/sec')";

// Version and edition of the server.
inline constexpr const char *kServerQuery =
    "SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128)) AS product_version, "
    "CAST(SERVERPROPERTY('Edition') AS nvarchar(128)) AS edition, @@SERVERNAME AS server_name";

// The mirroring endpoint: its state, how it authenticates, its TCP port and its certificate.
inline constexpr const char *kEndpointQuery =
    "SELECT e.name, e.state_desc, e.connection_auth_desc, t.port, c.name AS certificate_name, c.thumbprint "
    "FROM master.sys.database_mirroring_endpoints e "
    "LEFT JOIN master.sys.tcp_endpoints t ON t.endpoint_id = e.endpoint_id "
    "LEFT JOIN master.sys.certificates c ON c.certificate_id = e.certificate_id";

// The certificates of master.
inline constexpr const char *kCertificatesQuery = "SELECT name, thumbprint FROM master.sys.certificates";
// The logins the partners connect as (the Mirror to Main's endpoint as mirroringB, Main to the Mirror's as
// mirroring), one row per CONNECT permission each holds or is denied on an endpoint: endpoint_name names
// the mirroring endpoint, or is empty for another endpoint or none.
inline constexpr const char *kPartnerLoginsQuery =
    "SELECT p.name, e.name AS endpoint_name, sp.state_desc FROM master.sys.server_principals p "
    "LEFT JOIN master.sys.server_permissions sp ON sp.grantee_principal_id = p.principal_id "
    "AND sp.class = 105 AND sp.permission_name = 'CONNECT' "
    "LEFT JOIN master.sys.endpoints e ON e.endpoint_id = sp.major_id AND e.type_desc = 'DATABASE_MIRRORING' "
    "WHERE p.name IN ('mirroring', 'mirroringB')";

// Whether this very session travels encrypted ("TRUE"/"FALSE") and how it logged in (SQL, KERBEROS, NTLM).
inline constexpr const char *kSessionEncryptionQuery =
    "SELECT encrypt_option, auth_scheme FROM sys.dm_exec_connections WHERE session_id = @@SPID";

// Free MB of each fixed drive of the server.
inline constexpr const char *kFreeSpaceQuery = "EXEC master.dbo.xp_fixeddrives";

// The names of the mirroring counters.
inline constexpr const char *kUnsentCounter = "Log Send Queue KB";
inline constexpr const char *kUnrestoredCounter = "Redo Queue KB";
inline constexpr const char *kSentCounter = "Log Bytes Sent/sec";
inline constexpr const char *kRedoneCounter = "Redo Bytes/sec";

} // namespace quorix::status
