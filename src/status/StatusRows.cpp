#include "status/StatusRows.h"

#include "db/SqlQuote.h"
#include "status/StatusSql.h"

#include <algorithm>

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

// A database state that is neither the working one nor that of a copy being restored or mirrored.
bool troubled(const Side &s) {
    static const QStringList fine = {QStringLiteral("ONLINE"), QStringLiteral("RESTORING"),
                                     QStringLiteral("RECOVERING")};
    return s.present && !s.state.isEmpty() && !fine.contains(s.state, Qt::CaseInsensitive);
}

QString troubleHint(const QString &db, const Side &s, bool main) {
    const QString where = s.state + QStringLiteral(" on ") + sideName(main) + QStringLiteral(": ");
    if (s.state.compare(QStringLiteral("OFFLINE"), Qt::CaseInsensitive) == 0)
        return where + QStringLiteral("bring it online with ALTER DATABASE ") + sqlName(db) +
               QStringLiteral(" SET ONLINE");
    if (main)
        return where + QStringLiteral("see the server's error log and restore it from its backup");
    return where + QStringLiteral("press \"DropDB\" in the Mirror column, ") + kMirrorAgain;
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

Verdict judge(const QString &db, const Side &main, const Side &mirror, bool mainRead, bool mirrorRead) {
    const auto action = [](QString hint) { return Verdict{Mark::Action, std::move(hint)}; };
    if (!mainRead || !mirrorRead) {
        QString who = !mainRead && !mirrorRead ? QStringLiteral("Main and the Mirror") : sideName(!mainRead);
        return {Mark::Unknown, who + QStringLiteral(" could not be read (see the log): check that the server "
                                                    "runs and its server and PW boxes")};
    }
    const bool mainRole = !main.role.isEmpty();
    const bool mirrorRole = !mirror.role.isEmpty();

    if (sameWord(main.role, "PRINCIPAL") && sameWord(mirror.role, "PRINCIPAL"))
        return action(QStringLiteral("principal on both servers: decide which copy to keep, end mirroring on "
                                     "the other with \"Make Online / fix\" (Main) or \"Make Online (partner "
                                     "off)\" (Mirror), ") +
                      kMirrorAgain);
    // A copy gone from one side leaves the other disconnected too: the missing copy is what to mend.
    if (mainRole && !mirrorRole)
        return action(QStringLiteral("mirrored on Main only: press \"Make Online / fix\" to end it there, ") +
                      kMirrorAgain);
    if (mirrorRole && !mainRole)
        return action(
            QStringLiteral("mirrored on the Mirror only: press \"Make Online (partner off)\" to keep "
                           "the Mirror's copy, or \"DropDB\" in the Mirror column and ") +
            kMirrorAgain.mid(5));
    if (sameWord(main.mirroringState, "SUSPENDED") || sameWord(mirror.mirroringState, "SUSPENDED"))
        return action(QStringLiteral("suspended: resume it with ALTER DATABASE ") + sqlName(db) +
                      QStringLiteral(" SET PARTNER RESUME on ") +
                      sideName(!sameWord(mirror.role, "PRINCIPAL")));
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
        if (sameWord(main.role, "PRINCIPAL") && sameWord(mirror.role, "MIRROR"))
            return {Mark::Healthy, {}};
        if (sameWord(main.role, "MIRROR") && sameWord(mirror.role, "PRINCIPAL"))
            return action(QStringLiteral("failed over: the Mirror is the principal; fail back with ALTER "
                                         "DATABASE ") +
                          sqlName(db) + QStringLiteral(" SET PARTNER FAILOVER on the Mirror"));
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
                                  const QStringList &mirrorNames, const Databases &mirror, bool mainRead,
                                  bool mirrorRead) {
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
        row.verdict = judge(name, row.main, row.mirror, mainRead, mirrorRead);
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
