// The pre-flight checklist from what was read: a healthy pair passes every check, and each failure is
// named with its fix.

#include "TestText.h"
#include "core/status/PreflightChecks.h"

#include <functional>
#include <gtest/gtest.h>

using namespace quorix::status;

namespace {

ResultTable endpoint(const char *state, int port, const char *auth, const char *certificate,
                     QByteArray print) {
    return {{"name", "state_desc", "connection_auth_desc", "port", "certificate_name", "thumbprint"},
            {{"Endpoint_Mirroring", state, auth, port, certificate, print}}};
}

ResultTable databases(std::vector<std::vector<QVariant>> rows) {
    return {{"name", "state_desc", "recovery_model_desc", "mirroring_role_desc", "mirroring_partner_name",
             "size_kb"},
            std::move(rows)};
}

// Both servers set up by the certificate scripts, Billing (2 GB) on Main only, the shares writable.
PreflightInput healthy() {
    PreflightInput in;
    ServerFacts &m = in.servers[0];
    m.reachable = true;
    m.encryptOption = "TRUE";
    m.certificateSha256 = "AB:CD";
    m.version = "10.50.6000.34";
    m.edition = "Enterprise Edition (64-bit)";
    m.endpoint = endpoint("STARTED", 5024, "CERTIFICATE", "Mirroring", "\x01\x02");
    m.certificates = {{"name", "thumbprint"},
                      {{"Mirroring", QByteArray("\x01\x02")}, {"mirroringB", QByteArray("\x03\x04")}}};
    // The scripts make login mirroring on both servers; only mirroringB, on Main, and mirroring, on the
    // Mirror, are granted CONNECT on the endpoint: the logins the partners connect as.
    m.partnerLogins = {
        {"name", "endpoint_name", "state_desc"},
        {{"mirroring", QVariant(), QVariant()}, {"mirroringB", "Endpoint_Mirroring", "GRANT"}}};
    m.databases = databases({{"Billing", "ONLINE", "FULL", QVariant(), QVariant(), qint64(2 * 1024 * 1024)}});
    m.freeSpaceRead = true;
    m.freeSpace = {{"drive", "MB free"}, {{"C", 100}, {"P", 5000}}};
    ServerFacts &r = in.servers[1];
    r = m;
    r.version = "10.50.6220.0";
    r.endpoint = endpoint("STARTED", 5024, "CERTIFICATE", "mirroringB", "\x03\x04");
    r.databases = databases({});
    r.partnerLogins = {{"name", "endpoint_name", "state_desc"},
                       {{"mirroring", "Endpoint_Mirroring", "GRANT"}}};
    in.shares[0] = {"X:\\MIR\\", true, true, {}};
    in.shares[1] = {"Y:\\MIR\\", true, true, {}};
    in.databases = QStringList{"Billing"};
    in.backupFolder = "p:\\backup\\MIR\\";
    return in;
}

QStringList failures(const PreflightInput &in) {
    QStringList out;
    for (const CheckLine &line : preflightChecks(in))
        if (!line.ok)
            out << lineText(line);
    return out;
}

} // namespace

TEST(PreflightRules, AHealthyPairPassesEveryCheck) {
    QStringList lines;
    for (const CheckLine &line : preflightChecks(healthy()))
        lines << lineText(line);
    EXPECT_EQ(lines,
              (QStringList{
                  "ok    Main reachable with the login sa",
                  "ok    Main session encrypted (certificate SHA-256 AB:CD)",
                  "ok    Mirror reachable with the login sa",
                  "ok    Mirror session encrypted (certificate SHA-256 AB:CD)",
                  "ok    versions: Main 10.50.6000.34, Mirror 10.50.6220.0 (same major version, the Mirror "
                  "not older)",
                  "ok    editions: Main Enterprise Edition (64-bit), Mirror Enterprise Edition (64-bit)",
                  "ok    Main: mirroring endpoint Endpoint_Mirroring present",
                  "ok    Main: endpoint started",
                  "ok    Main: endpoint on port 5024",
                  "ok    Main: endpoint authenticates by certificate (Mirroring)",
                  "ok    Mirror: mirroring endpoint Endpoint_Mirroring present",
                  "ok    Mirror: endpoint started",
                  "ok    Mirror: endpoint on port 5024",
                  "ok    Mirror: endpoint authenticates by certificate (mirroringB)",
                  "ok    Main: the Mirror's certificate mirroringB present",
                  "ok    Main: the Mirror's login mirroringB present",
                  "ok    Main: the Mirror's login mirroringB holds CONNECT on endpoint Endpoint_Mirroring",
                  "ok    Mirror: Main's certificate Mirroring present",
                  "ok    Mirror: Main's login mirroring present",
                  "ok    Mirror: Main's login mirroring holds CONNECT on endpoint Endpoint_Mirroring",
                  "ok    Billing: online on Main",
                  "ok    Billing: recovery model FULL",
                  "ok    Billing: not mirrored yet",
                  "ok    Billing: no database of that name on the Mirror, or one restoring",
                  "ok    Main's backup share X:\\MIR\\ reachable from this machine",
                  "ok    Main's backup share X:\\MIR\\ writable",
                  "ok    Main: free space for the backups (5000 MB free on P:, the databases take 2048 MB)",
                  "ok    the Mirror's backup share Y:\\MIR\\ reachable from this machine",
                  "ok    the Mirror's backup share Y:\\MIR\\ writable",
                  "ok    Mirror: free space for the backups (5000 MB free on P:, the databases take 2048 MB)",
              }));
}

TEST(PreflightRules, EachFailureIsNamedWithItsFix) {
    struct Case {
        const char *what;
        std::function<void(PreflightInput &)> spoil;
        QStringList expected;
    };
    const Case cases[] = {
        {"Mirror down",
         [](PreflightInput &in) {
             in.servers[1] = ServerFacts{};
             in.servers[1].error = "Unable to connect: Adaptive Server is unavailable or does not exist";
         },
         {"FAIL  Mirror reachable with the login sa: Unable to connect: Adaptive Server is unavailable or "
          "does "
          "not exist. Fix: check that the server runs and its server and PW boxes, then press \"Connect\""}},
        {"Mirror in clear, under another login",
         [](PreflightInput &in) {
             in.servers[1].encryptOption = "FALSE";
             in.servers[1].encryptionChoice = "Optional";
             in.servers[1].login = "dba_anna";
         },
         {"FAIL  Mirror session encrypted: it travels in clear, with encryption \"Optional\". Fix: choose "
          "\"Mandatory\" in the Mirror's Encryption box and press \"Connect\"; a server that offers no "
          "encryption needs a certificate (SQL Server Configuration Manager, Protocols, Certificate)"}},
        {"other major version",
         [](PreflightInput &in) { in.servers[1].version = "11.0.2100.60"; },
         {"FAIL  versions: Main 10.50.6000.34, Mirror 11.0.2100.60: the major versions differ. Fix: "
          "mirroring "
          "needs the same major version on both servers"}},
        {"older Mirror",
         [](PreflightInput &in) { in.servers[1].version = "10.50.1600.1"; },
         {"FAIL  versions: Main 10.50.6000.34, Mirror 10.50.1600.1: the Mirror is older than Main. Fix: "
          "update "
          "the Mirror to 10.50.6000.34 or later"}},
        {"Express",
         [](PreflightInput &in) { in.servers[1].edition = "Express Edition (64-bit)"; },
         {"FAIL  editions: Main Enterprise Edition (64-bit), Mirror Express Edition (64-bit): Express, Web "
          "and "
          "Workgroup can only be a witness. Fix: use Standard, Enterprise or Developer edition on both"}},
        {"edition not reported",
         [](PreflightInput &in) { in.servers[0].edition.clear(); },
         {"FAIL  editions: Main , Mirror Enterprise Edition (64-bit): a server did not report its edition. "
          "Fix: "
          "check that both servers are SQL Server 2008 or later"}},
        {"editions differ",
         [](PreflightInput &in) { in.servers[0].edition = "Standard Edition (64-bit)"; },
         {"FAIL  editions: Main Standard Edition (64-bit), Mirror Enterprise Edition (64-bit): the partners' "
          "editions differ. Fix: mirroring needs the same edition on both servers"}},
        {"no endpoint on the Mirror",
         [](PreflightInput &in) { in.servers[1].endpoint = {}; },
         {"FAIL  Mirror: mirroring endpoint present: there is none. Fix: run \"RunScript svr2\" on tab 2 of "
          "the "
          "Mirroring tab"}},
        {"endpoint stopped, other port, other authentication",
         [](PreflightInput &in) {
             in.servers[0].endpoint = endpoint("STOPPED", 5022, "WINDOWS NEGOTIATE", "", {});
         },
         {"FAIL  Main: endpoint started: it is STOPPED. Fix: ALTER ENDPOINT Endpoint_Mirroring STATE = "
          "STARTED",
          "FAIL  Main: endpoint on port 5024: it listens on port 5022. Fix: ALTER ENDPOINT "
          "Endpoint_Mirroring AS "
          "TCP (LISTENER_PORT = 5024)",
          "FAIL  Main: endpoint authenticates by certificate: it uses WINDOWS NEGOTIATE. Fix: drop it with "
          "\"RunScript both servers\" (Reset Mirroring) and create it again with the Create scripts"}},
        {"Main lacks the Mirror's certificate",
         [](PreflightInput &in) { in.servers[0].certificates.rows.pop_back(); },
         {"FAIL  Main: the Mirror's certificate mirroringB present: it is missing. Fix: copy SERVER2.cer "
          "with "
          "\"CopyCert\" on tab 2, then run \"RunScript svr1\" on tab 3 of the Mirroring tab"}},
        {"the Mirror holds another certificate of that name",
         [](PreflightInput &in) { in.servers[1].certificates.rows[0][1] = QByteArray("\x09"); },
         {"FAIL  Mirror: Main's certificate Mirroring present: it is missing. Fix: copy SERVER1.cer with "
          "\"CopyCert\" on tab 1, then run \"RunScript svr2\" on tab 2 of the Mirroring tab"}},
        {"the Mirror lacks the login Main connects as",
         [](PreflightInput &in) { in.servers[1].partnerLogins.rows.clear(); },
         {"FAIL  Mirror: Main's login mirroring present: it is missing. Fix: copy SERVER1.cer with "
          "\"CopyCert\" on tab 1, then run \"RunScript svr2\" on tab 2 of the Mirroring tab"}},
        {"simple recovery",
         [](PreflightInput &in) { in.servers[0].databases.rows[0][2] = "SIMPLE"; },
         {"FAIL  Billing: recovery model FULL: it is SIMPLE. Fix: press \"Full Recovery Mode\""}},
        {"mirrored already",
         [](PreflightInput &in) {
             in.servers[0].databases.rows[0][3] = "PRINCIPAL";
             in.servers[0].databases.rows[0][4] = "TCP://MIRRORSRV:5024";
         },
         {"FAIL  Billing: not mirrored yet: it is mirrored already (PRINCIPAL, partner "
          "TCP://MIRRORSRV:5024). "
          "Fix: nothing to set up; to start over press \"Make Online / fix\""}},
        {"an online copy on the Mirror",
         [](PreflightInput &in) {
             in.servers[1].databases = databases({{"BILLING", "ONLINE", "FULL", QVariant(), QVariant(), 1}});
         },
         {"FAIL  Billing: no database of that name on the Mirror, or one restoring: the Mirror has it, "
          "ONLINE. "
          "Fix: press \"DropDB\" in the Mirror column"}},
        {"not on Main",
         [](PreflightInput &in) { in.databases = QStringList{"Nowhere"}; },
         {"FAIL  Nowhere: on Main: Main has no database of that name. Fix: pick a database from Main's "
          "list"}},
        {"share not mapped",
         [](PreflightInput &in) {
             in.shares[1] = {"Y:\\MIR\\", false, false, "Cannot list Y:\\MIR\\: drive Y: is not mapped"};
         },
         {"FAIL  the Mirror's backup share Y:\\MIR\\ reachable from this machine: Cannot list Y:\\MIR\\: "
          "drive Y: "
          "is not mapped. Fix: press \"Map Net Drive Y\" (with the share's account in the Server User/PW "
          "boxes)"}},
        {"share not writable",
         [](PreflightInput &in) {
             in.shares[0] = {"X:\\MIR\\", true, false, "Cannot write X:\\MIR\\p: access denied"};
         },
         {"FAIL  Main's backup share X:\\MIR\\ writable: Cannot write X:\\MIR\\p: access denied. Fix: give "
          "the "
          "account in the Server User/PW boxes the right to write to the share's MIR folder"}},
        {"too little space on the Mirror",
         [](PreflightInput &in) { in.servers[1].freeSpace.rows[1][1] = 1000; },
         {"FAIL  Mirror: free space for the backups (1000 MB free on P:, the databases take 2048 MB): not "
          "enough. "
          "Fix: make room on P: of the Mirror or choose another backup drive / path"}},
    };
    for (const Case &c : cases) {
        PreflightInput in = healthy();
        c.spoil(in);
        EXPECT_EQ(failures(in), c.expected) << c.what;
    }
}

TEST(PreflightRules, SpaceIsComparedOnlyWhereTheServerReportsIt) {
    PreflightInput in = healthy();
    in.servers[0].freeSpaceRead = false;   // the procedure was refused
    in.backupFolder = "\\\\nas\\backup\\"; // no drive letter for the Mirror
    QStringList space;
    for (const CheckLine &line : preflightChecks(in))
        if (line.check.contains("free space"))
            space << lineText(line);
    EXPECT_EQ(
        space,
        (QStringList{"ok    Main: free space for the backups: not reported by the server, not checked",
                     "ok    Mirror: free space for the backups: not reported by the server, not checked"}));
    // With ALL DBS the sizes add up.
    in = healthy();
    in.servers[0].databases.rows.push_back(
        {"Payroll", "ONLINE", "FULL", QVariant(), QVariant(), qint64(4096 * 1024)});
    in.databases = QStringList{"Billing", "Payroll"};
    in.servers[0].freeSpace.rows[1][1] = 6000;
    in.servers[1].freeSpace.rows[1][1] = 7000;
    EXPECT_EQ(failures(in),
              QStringList{"FAIL  Main: free space for the backups (6000 MB free on P:, the databases "
                          "take 6144 MB): not enough. Fix: make room on P: of Main or choose another "
                          "backup drive / path"});
}

TEST(PreflightRules, UnderScriptOnlyAShareIsNotWrittenToAndItsSpaceIsStillCompared) {
    ServerFacts server;
    server.reachable = true;
    server.freeSpaceRead = true;
    server.freeSpace = {{"drive", "MB free"}, {{"P", 5000}}};
    ShareFacts share{"X:\\MIR\\", true, false, {}};
    share.writeTried = false;
    QStringList lines;
    for (const CheckLine &line : shareChecks(0, share, server, "p:\\backup\\MIR\\", 2048 * 1024))
        lines << lineText(line);
    EXPECT_EQ(
        lines,
        (QStringList{
            "ok    Main's backup share X:\\MIR\\ reachable from this machine",
            "ok    Main's backup share X:\\MIR\\ writable: not tried (Script only)",
            "ok    Main: free space for the backups (5000 MB free on P:, the databases take 2048 MB)"}));
}
