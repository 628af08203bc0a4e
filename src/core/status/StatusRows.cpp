#include "core/status/StatusRows.h"

#include "core/db/ConnectionString.h"
#include "core/db/SqlQuote.h"
#include "core/status/StatusSql.h"

#include <algorithm>
#include <initializer_list>

namespace quorix::status {

namespace {

// How a database is mirrored again once what stood in the way is gone.
const QString kMirrorAgain =
    QStringLiteral("then mirror it again: \"Backup\", \"Copy ->\", \"Restore\", \"<- Set Partner\", "
                   "\"Set Partner ->\"");

std::optional<qint64> number(const ResultTable &t, size_t row, const char *column) {
    const QVariant v = t.value(row, QLatin1String(column));
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return v.isValid() && !v.isNull() && ok ? std::optional<qint64>(n) : std::nullopt;
}

bool oneOf(const QString &value, std::initializer_list<const char *> words) {
    return std::any_of(words.begin(), words.end(), [&](const char *w) { return sameWord(value, w); });
}
bool isPrincipal(const Side &s) {
    return sameWord(s.role, "PRINCIPAL");
}
bool isMirror(const Side &s) {
    return sameWord(s.role, "MIRROR");
}
// The mirror copy holds the principal's log as it comes (safety OFF keeps it SYNCHRONIZING).
bool inStep(const Side &s) {
    return oneOf(s.mirroringState, {"SYNCHRONIZED", "SYNCHRONIZING"});
}
// A copy that cannot serve, though the server runs.
bool cannotServe(const Side &s) {
    return s.present && oneOf(s.state, {"SUSPECT", "RECOVERY_PENDING", "OFFLINE"});
}

QString possessive(bool main) {
    return main ? QStringLiteral("Main's") : QStringLiteral("the Mirror's");
}

// A database state that is neither the working one nor that of a copy being restored or mirrored.
bool troubled(const Side &s) {
    return s.present && !s.state.isEmpty() && !oneOf(s.state, {"ONLINE", "RESTORING", "RECOVERING"});
}

QString troubleHint(const QString &db, const Side &s, bool main) {
    const QString where = s.state + QStringLiteral(" on ") + sideName(main) + QStringLiteral(": ");
    if (sameWord(s.state, "OFFLINE"))
        return where + QStringLiteral("bring it online with ALTER DATABASE ") + sqlName(db) +
               QStringLiteral(" SET ONLINE");
    // The copy that serves (Main's, or the Mirror's once it took over) is never to be dropped.
    if (main || isPrincipal(s))
        return where + QStringLiteral("see the server's error log and restore it from its backup");
    return where + QStringLiteral("press \"DropDB\" in the Mirror column, ") + kMirrorAgain;
}

// Each side that names another partner than the other server box: what it names, and nothing to press,
// since the pair it belongs to is not this one.
QString otherPartners(const Side &main, const Side &mirror, const PairFacts &pair) {
    QStringList clauses;
    const auto compare = [&clauses](const Side &s, const QString &expected, bool mainSide) {
        const QString partner = s.partner.trimmed();
        if (s.role.isEmpty() || partner.isEmpty() || expected.isEmpty() ||
            partner.compare(expected, Qt::CaseInsensitive) == 0)
            return;
        clauses << QStringLiteral("partnered with %1, not with %2 (%3)")
                       .arg(partner, sideName(!mainSide), expected);
    };
    compare(main, pair.mirrorEndpoint, true);
    compare(mirror, pair.mainEndpoint, false);
    if (clauses.isEmpty())
        return {};
    return clauses.join(QStringLiteral("; ")) +
           (clauses.size() == 1
                ? QStringLiteral(": check which server that is before changing anything here")
                : QStringLiteral(": check which servers those are before changing anything here"));
}

// A principal that cannot serve beside a mirror in step: the mirror's copy takes over. With safety OFF (as
// "Set Partner ->" leaves it) a failover is refused, so service is forced; recovering the principal from its
// backup would throw away the log the mirror holds.
QString forceServiceHint(const QString &db, const Side &down, const Side &inStepMirror, bool downOnMain) {
    const QString there = sideName(!downOnMain);
    return QStringLiteral("%1 on %2, the principal, while %3 copy is %4: bring service up on %5 with ALTER "
                          "DATABASE %6 SET PARTNER FORCE_SERVICE_ALLOW_DATA_LOSS there (what %2 had not sent "
                          "yet is lost); do not restore %7 copy from its backup, which would lose the log %5 "
                          "holds")
        .arg(down.state, sideName(downOnMain), possessive(!downOnMain), inStepMirror.mirroringState, there,
             sqlName(db), possessive(downOnMain));
}

// Mirrored on one server only, yet in step with a partner at the other box's address: the partner copy
// is another instance or server than the box names, and ending mirroring here would break a working pair.
QString inStepElsewhereHint(const Side &s, bool main) {
    const QString with =
        s.partner.trimmed().isEmpty() ? QString() : QStringLiteral(" with ") + s.partner.trimmed();
    return QStringLiteral("mirrored on %1 only, yet %2%3: that partner is not the server %4 server box names "
                          "(another instance of that machine?); check the box before changing anything here")
        .arg(sideName(main), s.mirroringState, with, possessive(!main));
}

QString kb(const std::optional<qint64> &v) {
    return v ? QString::number(*v) : QString();
}
QString rate(const std::optional<double> &v) {
    return v ? QString::number(*v, 'f', 1) : QString();
}

} // namespace

QString sideName(bool main) {
    return main ? QStringLiteral("Main") : QStringLiteral("the Mirror");
}

bool sameWord(const QString &value, const char *word) {
    return value.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

QString nameKey(const QString &name) {
    return name.toLower();
}

Databases readDatabases(const ResultTable &result, QStringList *names) {
    Databases out;
    for (size_t r = 0; r < result.rows.size(); ++r) {
        const QString name = result.text(r, QStringLiteral("name"));
        if (name.isEmpty())
            continue;
        Side s;
        s.present = true;
        s.state = result.text(r, QStringLiteral("state_desc"));
        s.recovery = result.text(r, QStringLiteral("recovery_model_desc"));
        s.role = result.text(r, QStringLiteral("mirroring_role_desc"));
        s.mirroringState = result.text(r, QStringLiteral("mirroring_state_desc"));
        s.safety = result.text(r, QStringLiteral("mirroring_safety_level_desc"));
        s.partner = result.text(r, QStringLiteral("mirroring_partner_name"));
        s.sizeKb = number(result, r, "size_kb");
        out[nameKey(name)] = s;
        if (names)
            names->append(name);
    }
    return out;
}

CounterReading readCounters(const ResultTable &result) {
    CounterReading out;
    for (size_t r = 0; r < result.rows.size(); ++r) {
        const QString db = result.text(r, QStringLiteral("database_name"));
        const QString counter = result.text(r, QStringLiteral("counter_name"));
        const std::optional<qint64> value = number(result, r, "cntr_value");
        Counters &c = out[nameKey(db)];
        if (sameWord(counter, kUnsentCounter))
            c.unsentKb = value;
        else if (sameWord(counter, kUnrestoredCounter))
            c.unrestoredKb = value;
        else if (sameWord(counter, kSentCounter))
            c.sentBytes = value;
        else if (sameWord(counter, kRedoneCounter))
            c.redoneBytes = value;
    }
    return out;
}

void applyCounters(Side &side, const Counters &now, const Counters *before, double seconds) {
    side.unsentKb = now.unsentKb;
    side.unrestoredKb = now.unrestoredKb;
    if (!before || seconds <= 0)
        return;
    const auto perSecond = [seconds](const std::optional<qint64> &a,
                                     const std::optional<qint64> &b) -> std::optional<double> {
        // A total that went down belongs to a restarted server: no rate from it.
        if (!a || !b || *b < *a)
            return std::nullopt;
        return static_cast<double>(*b - *a) / 1024.0 / seconds;
    };
    side.sendRate = perSecond(before->sentBytes, now.sentBytes);
    side.redoRate = perSecond(before->redoneBytes, now.redoneBytes);
}

QString markText(Mark mark) {
    switch (mark) {
    case Mark::Healthy:
        return QStringLiteral("ok");
    case Mark::Action:
        return QStringLiteral("needs action");
    case Mark::Unknown:
        return QStringLiteral("not read");
    case Mark::None:
        break;
    }
    return {};
}

QString endpointAddress(const QString &serverBox) {
    const QString host = parseServerAddress(serverBox).host;
    return host.isEmpty()
               ? QString()
               : QStringLiteral("TCP://") + host + QLatin1Char(':') + QString::number(kMirroringPort);
}

Verdict judge(const QString &db, const Side &main, const Side &mirror, const PairFacts &pair) {
    const auto action = [](QString hint) { return Verdict{Mark::Action, std::move(hint)}; };
    if (!pair.mainRead || !pair.mirrorRead) {
        QString who = !pair.mainRead && !pair.mirrorRead ? QStringLiteral("Main and the Mirror")
                                                         : sideName(!pair.mainRead);
        return {Mark::Unknown, who + QStringLiteral(" could not be read (see the log): check that the server "
                                                    "runs and its server and PW boxes")};
    }
    const bool mainRole = !main.role.isEmpty();
    const bool mirrorRole = !mirror.role.isEmpty();

    // A copy mirrored with a third server belongs to another pair: whatever this pair needs, no button
    // here may touch it.
    if (const QString elsewhere = otherPartners(main, mirror, pair); !elsewhere.isEmpty())
        return action(elsewhere);
    if (isPrincipal(main) && isPrincipal(mirror))
        return action(QStringLiteral("principal on both servers: decide which copy to keep, end mirroring on "
                                     "the other with \"Make Online / fix\" (Main) or \"Make Online (partner "
                                     "off)\" (Mirror), ") +
                      kMirrorAgain);
    if (isPrincipal(main) && cannotServe(main) && isMirror(mirror) && inStep(mirror))
        return action(forceServiceHint(db, main, mirror, true));
    if (isPrincipal(mirror) && cannotServe(mirror) && isMirror(main) && inStep(main))
        return action(forceServiceHint(db, mirror, main, false));
    // A copy gone from one side leaves the other disconnected too: the missing copy is what to mend.
    if (mainRole && !mirrorRole) {
        if (inStep(main))
            return action(inStepElsewhereHint(main, true));
        return action(QStringLiteral("mirrored on Main only: press \"Make Online / fix\" to end it there, ") +
                      kMirrorAgain);
    }
    if (mirrorRole && !mainRole) {
        if (inStep(mirror))
            return action(inStepElsewhereHint(mirror, false));
        if (isPrincipal(mirror))
            return action(
                QStringLiteral("mirrored on the Mirror only, where it is the principal and may hold "
                               "the newest data: press \"Make Online (partner off)\" to keep it, then "
                               "decide which copy to mirror from"));
        return action(
            QStringLiteral("mirrored on the Mirror only: press \"Make Online (partner off)\" to keep "
                           "the Mirror's copy, or \"DropDB\" in the Mirror column and ") +
            kMirrorAgain.mid(5));
    }
    // Only the principal resumes.
    if (sameWord(main.mirroringState, "SUSPENDED") || sameWord(mirror.mirroringState, "SUSPENDED"))
        return action(
            QStringLiteral("suspended: find the cause in the servers' error logs first, then resume "
                           "it with ALTER DATABASE ") +
            sqlName(db) + QStringLiteral(" SET PARTNER RESUME on ") + sideName(!isPrincipal(mirror)));
    if (sameWord(main.mirroringState, "DISCONNECTED") || sameWord(mirror.mirroringState, "DISCONNECTED"))
        return action(
            QStringLiteral("disconnected: the partners cannot reach each other's endpoint on port "
                           "5024; press \"Pre-flight\" to see which endpoint is missing or stopped, "
                           "and start it with ALTER ENDPOINT Endpoint_Mirroring STATE = STARTED"));
    if (troubled(main))
        return action(troubleHint(db, main, true));
    if (troubled(mirror))
        return action(troubleHint(db, mirror, false));
    if (mainRole && mirrorRole) {
        if (isPrincipal(main) && isMirror(mirror))
            return {Mark::Healthy, {}};
        // FAILOVER is taken only on the principal and only with safety FULL; the pair runs with safety OFF.
        if (isMirror(main) && isPrincipal(mirror)) {
            const QString d = sqlName(db);
            return action(
                QStringLiteral("failed over: the Mirror's copy is the principal; to fail back (with "
                               "safety OFF a failover is refused): on the Mirror ALTER DATABASE %1 SET "
                               "PARTNER SAFETY FULL, wait until both sides show SYNCHRONIZED, on the "
                               "Mirror from master ALTER DATABASE %1 SET PARTNER FAILOVER, then on Main "
                               "ALTER DATABASE %1 SET PARTNER SAFETY OFF")
                    .arg(d));
        }
        return action(
            QStringLiteral("the sides disagree: %1 on Main, %2 on the Mirror").arg(main.role, mirror.role));
    }
    // Neither side mirrored.
    if (sameWord(main.state, "RESTORING"))
        return action(QStringLiteral("restoring on Main with no partner: press \"Make Online / fix\" to "
                                     "recover it"));
    if (sameWord(mirror.state, "RESTORING")) {
        if (main.present)
            return action(
                QStringLiteral("restored on the Mirror but not partnered: press \"<- Set Partner\", "
                               "then \"Set Partner ->\""));
        return action(QStringLiteral("restoring on the Mirror with no partner and not on Main: press \"Make "
                                     "Online (partner off)\" to recover it, or \"DropDB\" in the Mirror "
                                     "column"));
    }
    return {Mark::None, main.present ? QStringLiteral("not mirrored")
                                     : QStringLiteral("not mirrored, on the Mirror only")};
}

std::vector<StatusRow> statusRows(const QStringList &mainNames, const Databases &main,
                                  const QStringList &mirrorNames, const Databases &mirror,
                                  const PairFacts &pair) {
    // Main's spelling of a name wins; each name once, letter case ignored.
    std::map<QString, QString> names;
    for (const QString &n : mirrorNames)
        names[nameKey(n)] = n;
    for (const QString &n : mainNames)
        names[nameKey(n)] = n;
    std::vector<StatusRow> rows;
    for (const auto &[key, name] : names) {
        StatusRow row;
        row.db = name;
        if (auto it = main.find(key); it != main.end())
            row.main = it->second;
        if (auto it = mirror.find(key); it != mirror.end())
            row.mirror = it->second;
        row.verdict = judge(name, row.main, row.mirror, pair);
        rows.push_back(std::move(row));
    }
    return rows;
}

QStringList statusHeaders() {
    // The verdict beside the name, its hint last: a hint is long and would push the figures away.
    QStringList h{QStringLiteral("Database"), QStringLiteral("Check")};
    for (const char *side : {"Main", "Mirror"})
        for (const char *column : {"state", "role", "mirroring", "safety", "partner", "unsent KB",
                                   "send KB/s", "unrestored KB", "redo KB/s"})
            h << QStringLiteral("%1 %2").arg(QLatin1String(side), QLatin1String(column));
    return h << QStringLiteral("Hint");
}

QStringList rowTexts(const StatusRow &row) {
    QStringList cells{row.db, markText(row.verdict.mark)};
    for (const Side *s : {&row.main, &row.mirror})
        cells << s->state << s->role << s->mirroringState << s->safety << s->partner << kb(s->unsentKb)
              << rate(s->sendRate) << kb(s->unrestoredKb) << rate(s->redoRate);
    return cells << row.verdict.hint;
}

} // namespace quorix::status
