#pragma once

// The reads of the Status tab, Pre-flight and the mirroring check as the scripted servers receive them,
// written out, and the answers to the check's two reads. No window: the check's end-to-end tests use them
// with the program alone.

#include "DatabaseList.h"
#include "tds/ScriptedServer.h"

#include <atomic>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace quorix::testing {

inline const std::string kDatabasesRead =
    "SELECT d.name, d.state_desc, d.recovery_model_desc, m.mirroring_role_desc, m.mirroring_state_desc, "
    "m.mirroring_safety_level_desc, m.mirroring_partner_name, (SELECT SUM(CAST(f.size AS bigint)) * 8 FROM "
    "sys.master_files f WHERE f.database_id = d.database_id) AS size_kb FROM sys.databases d LEFT JOIN "
    "sys.database_mirroring m ON m.database_id = d.database_id WHERE d.database_id >= 5 ORDER BY d.name";
inline const std::string kCountersRead =
    "SELECT RTRIM(instance_name) AS database_name, RTRIM(counter_name) AS counter_name, cntr_value FROM "
    "sys.dm_os_performance_counters WHERE object_name LIKE '%Database Mirroring%' AND counter_name IN ('Log "
    "Send Queue KB', 'Redo Queue KB', 'Log Bytes Sent/sec', 'Redo Bytes/sec')";
inline const std::string kSessionRead =
    "SELECT encrypt_option, auth_scheme FROM sys.dm_exec_connections WHERE session_id = @@SPID";
inline const std::string kServerRead =
    "SELECT CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128)) AS product_version, "
    "CAST(SERVERPROPERTY('Edition') AS nvarchar(128)) AS edition, @@SERVERNAME AS server_name";
inline const std::string kEndpointRead =
    "SELECT e.name, e.state_desc, e.connection_auth_desc, t.port, c.name AS certificate_name, c.thumbprint "
    "FROM master.sys.database_mirroring_endpoints e LEFT JOIN master.sys.tcp_endpoints t ON t.endpoint_id = "
    "e.endpoint_id LEFT JOIN master.sys.certificates c ON c.certificate_id = e.certificate_id";
inline const std::string kCertificatesRead = "SELECT name, thumbprint FROM master.sys.certificates";
inline const std::string kPartnerLoginsRead =
    "SELECT p.name, e.name AS endpoint_name, sp.state_desc FROM master.sys.server_principals p LEFT JOIN "
    "master.sys.server_permissions sp ON sp.grantee_principal_id = p.principal_id AND sp.class = 105 AND "
    "sp.permission_name = 'CONNECT' LEFT JOIN master.sys.endpoints e ON e.endpoint_id = sp.major_id AND "
    "e.type_desc = 'DATABASE_MIRRORING' WHERE p.name IN ('mirroring', 'mirroringB')";
inline const std::string kFreeSpaceRead = "EXEC master.dbo.xp_fixeddrives";

// Every statement a server received is one of the reads above.
inline bool onlyReads(const std::vector<std::string> &statements) {
    for (const std::string &s : statements)
        if (s != kDatabasesRead && s != kCountersRead && s != kServerRead && s != kEndpointRead &&
            s != kCertificatesRead && s != kPartnerLoginsRead && s != kFreeSpaceRead && s != kSessionRead &&
            s != kList)
            return false;
    return true;
}

using tds::Column;
using tds::Reply;
using tds::ResultSet;
using tds::Row;
using tds::Rule;
using tds::SqlType;

inline const std::vector<Column> kDatabaseColumns = {{"name", SqlType::NVarChar, 128},
                                                     {"state_desc", SqlType::NVarChar, 60},
                                                     {"recovery_model_desc", SqlType::NVarChar, 60},
                                                     {"mirroring_role_desc", SqlType::NVarChar, 60},
                                                     {"mirroring_state_desc", SqlType::NVarChar, 60},
                                                     {"mirroring_safety_level_desc", SqlType::NVarChar, 60},
                                                     {"mirroring_partner_name", SqlType::NVarChar, 128},
                                                     {"size_kb", SqlType::BigInt}};

// Answers kDatabasesRead with rows (columns of kDatabaseColumns) and kCountersRead with the counters of
// one database: its queue (named counter, KB) and its total, which grows by 10 KB at every reading.
inline void answerDatabases(tds::ScriptedServer &server, std::vector<Row> rows) {
    server.addRule(Rule::exact(kDatabasesRead, Reply::rows({kDatabaseColumns, std::move(rows)})));
}
inline void answerCounters(tds::ScriptedServer &server, const std::string &db, const std::string &queue,
                           const std::string &total, std::shared_ptr<std::atomic<long long>> bytes) {
    server.addRule(Rule::callback(
        [=](const std::string &, const tds::ConnectionState &) -> std::optional<Reply> {
            const long long now = (*bytes += 10240);
            return Reply::rows({{{"database_name", SqlType::NVarChar, 128},
                                 {"counter_name", SqlType::NVarChar, 128},
                                 {"cntr_value", SqlType::BigInt}},
                                {{db, queue.substr(0, queue.find('=')), queue.substr(queue.find('=') + 1)},
                                 {db, total, std::to_string(now)}}});
        },
        std::regex_replace(kCountersRead, std::regex(R"([.*+?^${}()|\[\]\\])"), R"(\$&)")));
}

} // namespace quorix::testing
