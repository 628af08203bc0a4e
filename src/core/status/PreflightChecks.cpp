#include "core/status/PreflightChecks.h"

#include "core/db/SqlQuote.h"

#include <QVersionNumber>
#include <optional>

namespace quorix::status {

namespace {

constexpr int kEndpointPort = 5024;

CheckLine ok(QString check) {
    return {true, std::move(check), {}, {}};
}
CheckLine fail(QString check, QString problem, QString fix) {
    return {false, std::move(check), std::move(problem), std::move(fix)};
}

QString slotName(int slot) {
    return slot == 0 ? QStringLiteral("Main") : QStringLiteral("Mirror");
}

bool contains(const QString &text, const char *word) {
    return text.contains(QLatin1String(word), Qt::CaseInsensitive);
}

// The tab and button of the certificate scripts that create a server's own endpoint and login.
QString createScript(int slot) {
    return slot == 0 ? QStringLiteral("run \"RunScript svr1\" on tab 1 of the Mirroring tab")
                     : QStringLiteral("run \"RunScript svr2\" on tab 2 of the Mirroring tab");
}

// The steps that bring the partner's certificate to a server and map it to the login the partner uses.
QString importScript(int slot) {
    return slot == 0
               ? QStringLiteral("copy SERVER2.cer with \"CopyCert\" on tab 2, then run \"RunScript svr1\" "
                                "on tab 3 of the Mirroring tab")
               : QStringLiteral("copy SERVER1.cer with \"CopyCert\" on tab 1, then run \"RunScript svr2\" "
                                "on tab 2 of the Mirroring tab");
}

QString partnerOf(int slot) {
    return slot == 0 ? QStringLiteral("the Mirror's") : QStringLiteral("Main's");
}

std::optional<qint64> freeMb(const ResultTable &drives, QChar letter) {
    for (size_t r = 0; r < drives.rows.size(); ++r) {
        const QString drive = drives.text(r, QStringLiteral("drive"));
        if (drive.size() == 1 && drive.at(0).toUpper() == letter.toUpper()) {
            bool okNumber = false;
            const qint64 mb = drives.value(r, QStringLiteral("MB free")).toLongLong(&okNumber);
            if (okNumber)
                return mb;
        }
    }
    return std::nullopt;
}

} // namespace

QString lineText(const CheckLine &line) {
    if (line.ok)
        return QStringLiteral("ok    ") + line.check;
    return QStringLiteral("FAIL  ") + line.check + QStringLiteral(": ") + line.problem +
           QStringLiteral(". Fix: ") + line.fix;
}

EditionFamily editionFamily(const QString &edition) {
    if (contains(edition, "Express") || contains(edition, "Web") || contains(edition, "Workgroup"))
        return EditionFamily::WitnessOnly;
    if (contains(edition, "Enterprise") || contains(edition, "Developer") || contains(edition, "Evaluation"))
        return EditionFamily::Full;
    if (contains(edition, "Standard") || contains(edition, "Business Intelligence"))
        return EditionFamily::Standard;
    return EditionFamily::Unknown;
}

std::vector<CheckLine> versionChecks(const ServerFacts &main, const ServerFacts &mirror) {
    std::vector<CheckLine> lines;
    const QVersionNumber a = QVersionNumber::fromString(main.version);
    const QVersionNumber b = QVersionNumber::fromString(mirror.version);
    const QString versions = QStringLiteral("versions: Main %1, Mirror %2").arg(main.version, mirror.version);
    if (a.isNull() || b.isNull())
        lines.push_back(fail(versions, QStringLiteral("a server did not report its version"),
                             QStringLiteral("check that both servers are SQL Server 2008 or later")));
    else if (a.majorVersion() != b.majorVersion())
        lines.push_back(fail(versions, QStringLiteral("the major versions differ"),
                             QStringLiteral("mirroring needs the same major version on both servers")));
    else if (b < a)
        lines.push_back(fail(versions, QStringLiteral("the Mirror is older than Main"),
                             QStringLiteral("update the Mirror to %1 or later").arg(main.version)));
    else
        lines.push_back(ok(versions + QStringLiteral(" (same major version, the Mirror not older)")));

    const QString editions = QStringLiteral("editions: Main %1, Mirror %2").arg(main.edition, mirror.edition);
    const EditionFamily fa = editionFamily(main.edition), fb = editionFamily(mirror.edition);
    const QString partnerEditions = QStringLiteral("use Standard, Enterprise or Developer edition on both");
    if (main.edition.isEmpty() || mirror.edition.isEmpty())
        lines.push_back(fail(editions, QStringLiteral("a server did not report its edition"),
                             QStringLiteral("check that both servers are SQL Server 2008 or later")));
    else if (fa == EditionFamily::WitnessOnly || fb == EditionFamily::WitnessOnly)
        lines.push_back(fail(editions, QStringLiteral("Express, Web and Workgroup can only be a witness"),
                             partnerEditions));
    else if (fa != fb || (fa == EditionFamily::Unknown && main.edition != mirror.edition))
        lines.push_back(fail(editions, QStringLiteral("the partners' editions differ"),
                             QStringLiteral("mirroring needs the same edition on both servers")));
    else if (fa == EditionFamily::Standard)
        lines.push_back(
            ok(editions + QStringLiteral(" (Standard mirrors with safety FULL only: the SET PARTNER SAFETY "
                                         "OFF of \"Set Partner ->\" fails there)")));
    else
        lines.push_back(ok(editions));
    return lines;
}

std::vector<CheckLine> endpointChecks(int slot, const ServerFacts &server) {
    const QString who = slotName(slot) + QStringLiteral(": ");
    const ResultTable &e = server.endpoint;
    if (e.empty())
        return {fail(who + QStringLiteral("mirroring endpoint present"), QStringLiteral("there is none"),
                     createScript(slot))};
    const QString name = e.text(0, QStringLiteral("name"));
    const QString sqlEndpoint = sqlName(name);
    std::vector<CheckLine> lines{ok(who + QStringLiteral("mirroring endpoint %1 present").arg(name))};

    const QString state = e.text(0, QStringLiteral("state_desc"));
    const QString started = who + QStringLiteral("endpoint started");
    lines.push_back(sameWord(state, "STARTED")
                        ? ok(started)
                        : fail(started, QStringLiteral("it is %1").arg(state),
                               QStringLiteral("ALTER ENDPOINT %1 STATE = STARTED").arg(sqlEndpoint)));

    const QString port = e.text(0, QStringLiteral("port"));
    const QString onPort = who + QStringLiteral("endpoint on port %1").arg(kEndpointPort);
    lines.push_back(port == QString::number(kEndpointPort)
                        ? ok(onPort)
                        : fail(onPort, QStringLiteral("it listens on port %1").arg(port),
                               QStringLiteral("ALTER ENDPOINT %1 AS TCP (LISTENER_PORT = %2)")
                                   .arg(sqlEndpoint)
                                   .arg(kEndpointPort)));

    const QString auth = e.text(0, QStringLiteral("connection_auth_desc"));
    const QString certificate = e.text(0, QStringLiteral("certificate_name"));
    const QString byCertificate = who + QStringLiteral("endpoint authenticates by certificate");
    if (contains(auth, "CERTIFICATE") && !certificate.isEmpty())
        lines.push_back(ok(byCertificate + QStringLiteral(" (%1)").arg(certificate)));
    else
        lines.push_back(fail(byCertificate, QStringLiteral("it uses %1").arg(auth),
                             QStringLiteral("drop it with \"RunScript both servers\" (Reset Mirroring) and "
                                            "create it again with the Create scripts")));
    return lines;
}

std::vector<CheckLine> certificateChecks(int slot, const ServerFacts &server, const ServerFacts &other) {
    std::vector<CheckLine> lines;
    const QString who = slotName(slot) + QStringLiteral(": ");
    // The partner's endpoint certificate must be known here, by its thumbprint (by name where a server
    // gives none).
    if (other.reachable && !other.endpoint.empty()) {
        const QString name = other.endpoint.text(0, QStringLiteral("certificate_name"));
        const QByteArray print = other.endpoint.value(0, QStringLiteral("thumbprint")).toByteArray();
        bool found = false;
        for (size_t r = 0; r < server.certificates.rows.size() && !found; ++r) {
            const QByteArray mine = server.certificates.value(r, QStringLiteral("thumbprint")).toByteArray();
            found = print.isEmpty() || mine.isEmpty() ? server.certificates.text(r, QStringLiteral("name"))
                                                                .compare(name, Qt::CaseInsensitive) == 0
                                                      : mine == print;
        }
        const QString check = who + partnerOf(slot) + QStringLiteral(" certificate %1 present").arg(name);
        if (name.isEmpty())
            ; // the partner's endpoint has no certificate: its own endpoint line says so
        else if (found)
            lines.push_back(ok(check));
        else
            lines.push_back(fail(check, QStringLiteral("it is missing"), importScript(slot)));
    }
    return lines;
}

QString partnerLogin(int slot) {
    return slot == 0 ? QStringLiteral("mirroringB") : QStringLiteral("mirroring");
}

std::vector<CheckLine> partnerLoginChecks(int slot, const ServerFacts &server) {
    const QString login = partnerLogin(slot);
    const QString who =
        slotName(slot) + QStringLiteral(": ") + partnerOf(slot) + QStringLiteral(" login ") + login;
    bool present = false, granted = false, denied = false;
    const ResultTable &t = server.partnerLogins;
    for (size_t r = 0; r < t.rows.size(); ++r) {
        if (t.text(r, QStringLiteral("name")).compare(login, Qt::CaseInsensitive) != 0)
            continue;
        present = true;
        // A row without an endpoint is the login alone, or a permission on another endpoint.
        if (t.text(r, QStringLiteral("endpoint_name")).isEmpty())
            continue;
        const QString state = t.text(r, QStringLiteral("state_desc"));
        denied = denied || sameWord(state, "DENY");
        granted = granted || sameWord(state, "GRANT") || sameWord(state, "GRANT_WITH_GRANT_OPTION");
    }
    if (!present)
        return {fail(who + QStringLiteral(" present"), QStringLiteral("it is missing"), importScript(slot))};
    std::vector<CheckLine> lines{ok(who + QStringLiteral(" present"))};
    // Without an endpoint there is nothing to hold CONNECT on: the endpoint line says what to do.
    if (server.endpoint.empty())
        return lines;
    const QString endpoint = server.endpoint.text(0, QStringLiteral("name"));
    const QString check = who + QStringLiteral(" holds CONNECT on endpoint %1").arg(endpoint);
    const QString grant = QStringLiteral("GRANT CONNECT ON ENDPOINT::%1 TO %2").arg(sqlName(endpoint), login);
    if (denied)
        lines.push_back(fail(
            check, QStringLiteral("CONNECT on it is denied"),
            QStringLiteral("REVOKE CONNECT ON ENDPOINT::%1 FROM %2, then ").arg(sqlName(endpoint), login) +
                grant));
    else if (!granted)
        lines.push_back(fail(check, QStringLiteral("it holds no CONNECT permission on it"), grant));
    else
        lines.push_back(ok(check));
    return lines;
}

std::vector<CheckLine> databaseChecks(const QString &db, const Databases &onMain, const Databases *onMirror) {
    std::vector<CheckLine> lines;
    const QString who = db + QStringLiteral(": ");
    const auto it = onMain.find(nameKey(db));
    if (it == onMain.end())
        return {fail(who + QStringLiteral("on Main"), QStringLiteral("Main has no database of that name"),
                     QStringLiteral("pick a database from Main's list"))};
    const Side &m = it->second;
    const QString online = who + QStringLiteral("online on Main");
    if (sameWord(m.state, "ONLINE"))
        lines.push_back(ok(online));
    else
        lines.push_back(fail(online, QStringLiteral("it is %1").arg(m.state),
                             sameWord(m.state, "RESTORING")
                                 ? QStringLiteral("press \"Make Online / fix\"")
                                 : QStringLiteral("ALTER DATABASE %1 SET ONLINE").arg(sqlName(db))));
    const QString full = who + QStringLiteral("recovery model FULL");
    lines.push_back(sameWord(m.recovery, "FULL") ? ok(full)
                                                 : fail(full, QStringLiteral("it is %1").arg(m.recovery),
                                                        QStringLiteral("press \"Full Recovery Mode\"")));
    const QString notYet = who + QStringLiteral("not mirrored yet");
    lines.push_back(
        m.role.isEmpty()
            ? ok(notYet)
            : fail(notYet, QStringLiteral("it is mirrored already (%1, partner %2)").arg(m.role, m.partner),
                   QStringLiteral("nothing to set up; to start over press \"Make Online / fix\"")));
    if (!onMirror)
        return lines;
    const auto there = onMirror->find(nameKey(db));
    const QString free = who + QStringLiteral("no database of that name on the Mirror, or one restoring");
    if (there == onMirror->end())
        lines.push_back(ok(free));
    else if (sameWord(there->second.state, "RESTORING") && there->second.role.isEmpty())
        lines.push_back(ok(who + QStringLiteral("restoring on the Mirror, ready to be partnered")));
    else
        lines.push_back(
            fail(free,
                 QStringLiteral("the Mirror has it, %1").arg(there->second.state) +
                     (there->second.role.isEmpty() ? QString() : QStringLiteral(", ") + there->second.role),
                 QStringLiteral("press \"DropDB\" in the Mirror column")));
    return lines;
}

std::vector<CheckLine> shareChecks(int slot, const ShareFacts &share, const ServerFacts &server,
                                   const QString &backupFolder, qint64 neededKb) {
    const QString who = (slot == 0 ? QStringLiteral("Main's") : QStringLiteral("the Mirror's")) +
                        QStringLiteral(" backup share %1 ").arg(share.folder);
    const QString map =
        slot == 0 ? QStringLiteral("press \"Map net Drive X\"") : QStringLiteral("press \"Map Net Drive Y\"");
    if (!share.reachable)
        return {fail(who + QStringLiteral("reachable from this machine"), share.error,
                     map + QStringLiteral(" (with the share's account in the Server User/PW boxes)"))};
    std::vector<CheckLine> lines{ok(who + QStringLiteral("reachable from this machine"))};
    if (!share.writeTried) {
        lines.push_back(ok(who + QStringLiteral("writable: not tried (Script only)")));
    } else if (!share.writable) {
        lines.push_back(
            fail(who + QStringLiteral("writable"), share.error,
                 QStringLiteral("give the account in the Server User/PW boxes the right to write to "
                                "the share's MIR folder")));
        return lines;
    } else {
        lines.push_back(ok(who + QStringLiteral("writable")));
    }
    if (!server.reachable)
        return lines;
    const QString where = slotName(slot) + QStringLiteral(": free space for the backups");
    const QChar letter =
        backupFolder.size() >= 2 && backupFolder.at(1) == QLatin1Char(':') ? backupFolder.at(0) : QChar();
    const std::optional<qint64> mb =
        server.freeSpaceRead && !letter.isNull() ? freeMb(server.freeSpace, letter) : std::nullopt;
    if (!mb || neededKb < 0) {
        lines.push_back(ok(where + QStringLiteral(": not reported by the server, not checked")));
        return lines;
    }
    const qint64 neededMb = (neededKb + 1023) / 1024;
    const QString figures = QStringLiteral(" (%1 MB free on %2:, the databases take %3 MB)")
                                .arg(*mb)
                                .arg(letter.toUpper())
                                .arg(neededMb);
    if (*mb >= neededMb)
        lines.push_back(ok(where + figures));
    else
        lines.push_back(fail(where + figures, QStringLiteral("not enough"),
                             QStringLiteral("make room on %1: of %2 or choose another backup drive / path")
                                 .arg(letter.toUpper())
                                 .arg(sideName(slot == 0))));
    return lines;
}

std::vector<CheckLine> sessionChecks(int slot, const ServerFacts &server) {
    const QString check = slotName(slot) + QStringLiteral(" session encrypted");
    if (server.encryptOption.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0)
        return {
            ok(check + (server.certificateSha256.isEmpty()
                            ? QString()
                            : QStringLiteral(" (certificate SHA-256 %1)").arg(server.certificateSha256)))};
    const QString problem =
        server.encryptOption.isEmpty()
            ? QStringLiteral("the server did not say (sys.dm_exec_connections could not be read)")
            : QStringLiteral("it travels in clear, with encryption \"%1\"").arg(server.encryptionChoice);
    return {fail(
        check, problem,
        QStringLiteral("choose \"Mandatory\" in %1's Encryption box and press \"Connect\"; a server that "
                       "offers no encryption needs a certificate (SQL Server Configuration Manager, "
                       "Protocols, Certificate)")
            .arg(sideName(slot == 0)))};
}

std::vector<CheckLine> preflightChecks(const PreflightInput &input) {
    std::vector<CheckLine> lines;
    const auto add = [&lines](std::vector<CheckLine> more) {
        lines.insert(lines.end(), more.begin(), more.end());
    };
    const ServerFacts &main = input.servers[0];
    const ServerFacts &mirror = input.servers[1];
    for (int slot = 0; slot < 2; ++slot) {
        const ServerFacts &s = input.servers[static_cast<size_t>(slot)];
        const QString check = slotName(slot) + QStringLiteral(" reachable with the login ") +
                              (s.login.isEmpty() ? QStringLiteral("sa") : s.login);
        lines.push_back(s.reachable ? ok(check)
                                    : fail(check, s.error,
                                           QStringLiteral("check that the server runs and its server and PW "
                                                          "boxes, then press \"Connect\"")));
        if (s.reachable)
            add(sessionChecks(slot, s));
    }
    if (main.reachable && mirror.reachable)
        add(versionChecks(main, mirror));
    for (int slot = 0; slot < 2; ++slot)
        if (input.servers[static_cast<size_t>(slot)].reachable)
            add(endpointChecks(slot, input.servers[static_cast<size_t>(slot)]));
    for (int slot = 0; slot < 2; ++slot)
        if (input.servers[static_cast<size_t>(slot)].reachable) {
            add(certificateChecks(slot, input.servers[static_cast<size_t>(slot)],
                                  input.servers[static_cast<size_t>(1 - slot)]));
            add(partnerLoginChecks(slot, input.servers[static_cast<size_t>(slot)]));
        }
    qint64 neededKb = 0;
    if (main.reachable) {
        const Databases onMain = readDatabases(main.databases);
        const std::optional<Databases> onMirror =
            mirror.reachable ? std::optional(readDatabases(mirror.databases)) : std::nullopt;
        for (const QString &db : input.databases) {
            add(databaseChecks(db, onMain, onMirror ? &*onMirror : nullptr));
            const auto it = onMain.find(nameKey(db));
            if (it == onMain.end() || !it->second.sizeKb)
                neededKb = -1; // a size the server did not report: no comparison
            else if (neededKb >= 0)
                neededKb += *it->second.sizeKb;
        }
    } else {
        neededKb = -1;
    }
    for (int slot = 0; slot < 2; ++slot)
        add(shareChecks(slot, input.shares[static_cast<size_t>(slot)],
                        input.servers[static_cast<size_t>(slot)], input.backupFolder, neededKb));
    return lines;
}

} // namespace quorix::status
