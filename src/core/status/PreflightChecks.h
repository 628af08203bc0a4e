#pragma once

// The pre-flight checklist before mirroring is set up: what was read from both servers and found on the
// backup shares goes in, one line per check comes out, "ok" or "FAIL" with what fixes it (the button by
// its caption, or the statement). Pure: the reading is done by the Preflight feature.

#include "core/status/ResultTable.h"
#include "core/status/StatusRows.h"

#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace quorix::status {

// What was read from one server (the results of the queries in StatusSql.h).
struct ServerFacts {
    bool reachable = false;
    QString error;             // why it could not be reached
    QString login;             // as the session logs in ("Windows authentication" for the integrated login)
    QString encryptOption;     // kSessionEncryptionQuery: "TRUE", "FALSE", or "" when it could not be read
    QString encryptionChoice;  // the slot's encryption box ("Mandatory", ...)
    QString certificateSha256; // the certificate the server presents, when it could be read
    QString version, edition;
    ResultTable endpoint, certificates, databases;
    ResultTable partnerLogins;  // kPartnerLoginsQuery: the partners' logins and their CONNECT permissions
    bool freeSpaceRead = false; // the server reported its drives' free space
    ResultTable freeSpace;
};

// One backup share as this machine sees it ("X:\MIR\").
struct ShareFacts {
    QString folder;
    bool reachable = false;
    bool writable = false;
    QString error;
    bool writeTried = true; // not under Script only, where nothing is written
};

struct PreflightInput {
    std::array<ServerFacts, 2> servers; // Main, Mirror
    std::array<ShareFacts, 2> shares;
    QStringList databases; // the current database, or each of Main's list with ALL DBS
    QString backupFolder;  // the backup folder as the servers see it ("p:\backup\MIR\")
};

struct CheckLine {
    bool ok = true;
    QString check;   // what was checked
    QString problem; // FAIL: what was found
    QString fix;     // FAIL: what mends it
};

// "ok    check" or "FAIL  check: problem. Fix: fix".
QString lineText(const CheckLine &line);

std::vector<CheckLine> preflightChecks(const PreflightInput &input);

// Parts of the checklist, for the rules each stands for.
std::vector<CheckLine> versionChecks(const ServerFacts &main, const ServerFacts &mirror);
// The session itself: encrypted (with the certificate's fingerprint), or a FAIL with its fix.
std::vector<CheckLine> sessionChecks(int slot, const ServerFacts &server);
std::vector<CheckLine> endpointChecks(int slot, const ServerFacts &server);
// The partner's endpoint certificate, known here by its thumbprint.
std::vector<CheckLine> certificateChecks(int slot, const ServerFacts &server, const ServerFacts &other);
// The login the partner connects to this server's endpoint as (on Main the Mirror's mirroringB, on the
// Mirror Main's mirroring): present, and holding CONNECT on the endpoint, not denied it.
std::vector<CheckLine> partnerLoginChecks(int slot, const ServerFacts &server);
// "mirroringB" for Main (slot 0), "mirroring" for the Mirror: the login the certificate scripts map the
// partner's certificate to.
QString partnerLogin(int slot);
// onMirror: null when the Mirror could not be read.
std::vector<CheckLine> databaseChecks(const QString &db, const Databases &onMain, const Databases *onMirror);
std::vector<CheckLine> shareChecks(int slot, const ShareFacts &share, const ServerFacts &server,
                                   const QString &backupFolder, qint64 neededKb);

// Edition families: the ones that can be a mirroring partner, and among them those that allow safety OFF.
enum class EditionFamily { Full, Standard, WitnessOnly, Unknown };
EditionFamily editionFamily(const QString &edition);

} // namespace quorix::status
