#include "core/status/MirroringCheck.h"

#include <algorithm>
#include <optional>

namespace quorix::status {

namespace {

// A database is listed under at most this many names in the status line; the details list them all.
constexpr int kNamedInStatusLine = 3;

struct Problem {
    CheckStatus status;
    QString words; // "suspended", "send queue 20480 KB"
    bool queue;    // a queue over a threshold, which no hint of the grid covers
};

struct Judged {
    const StatusRow *row;
    std::vector<Problem> problems; // the worst first

    CheckStatus worst() const { return problems.empty() ? CheckStatus::Ok : problems.front().status; }
};

// A monitor reads the first '|' of a line as the start of performance data, and a line end as a new line.
QString plainText(QString text) {
    text.replace(QLatin1Char('|'), QChar(0x00A6));
    for (QChar &c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    return text.simplified();
}

// Labels are quoted; a quote or an equals sign in one would end it early for some readers.
QString perfLabel(const QString &db, const char *what) {
    QString label = db + QLatin1Char(' ') + QLatin1String(what);
    for (QChar &c : label)
        if (c == QLatin1Char('\'') || c == QLatin1Char('=') || c == QLatin1Char('|') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    return QLatin1Char('\'') + label + QLatin1Char('\'');
}

// The larger of the two sides' figures: each server reports the queue it holds.
template <typename T> std::optional<T> larger(const std::optional<T> &a, const std::optional<T> &b) {
    if (a && b)
        return std::max(*a, *b);
    return a ? a : b;
}

// States in which a database cannot be used at all.
bool unusable(const Side &side) {
    for (const char *state : {"SUSPECT", "OFFLINE", "EMERGENCY", "RECOVERY_PENDING"})
        if (side.present && sameWord(side.state, state))
            return true;
    return false;
}

bool flowing(const QString &mirroringState) {
    return sameWord(mirroringState, "SYNCHRONIZED") || sameWord(mirroringState, "SYNCHRONIZING");
}

void queueProblem(std::vector<Problem> &problems, const char *queue, const std::optional<qint64> &kb,
                  const QueueThresholds &t) {
    if (!kb || *kb <= t.warnKb)
        return;
    const CheckStatus status = *kb > t.critKb ? CheckStatus::Critical : CheckStatus::Warning;
    problems.push_back({status, QStringLiteral("%1 queue %2 KB").arg(QLatin1String(queue)).arg(*kb), true});
}

std::vector<Problem> problemsOf(const StatusRow &row, const QueueThresholds &t) {
    const Side &main = row.main;
    const Side &mirror = row.mirror;
    const bool mainRole = !main.role.isEmpty();
    const bool mirrorRole = !mirror.role.isEmpty();
    std::vector<Problem> problems;
    const auto add = [&problems](CheckStatus status, QString words) {
        problems.push_back({status, std::move(words), false});
    };

    for (const Side *side : {&main, &mirror})
        if (unusable(*side))
            add(CheckStatus::Critical,
                side->state.toUpper() + QStringLiteral(" on ") + sideName(side == &main));
    if (sameWord(main.role, "PRINCIPAL") && sameWord(mirror.role, "PRINCIPAL"))
        add(CheckStatus::Critical, QStringLiteral("principal on both servers"));
    else if (mainRole != mirrorRole)
        // The copy gone from one side leaves the other disconnected: the missing copy is the news.
        add(CheckStatus::Warning, QStringLiteral("mirrored on %1 only").arg(sideName(mainRole)));
    else if (mainRole && mirrorRole) {
        if (sameWord(main.mirroringState, "SUSPENDED") || sameWord(mirror.mirroringState, "SUSPENDED"))
            add(CheckStatus::Critical, QStringLiteral("suspended"));
        else if (sameWord(main.mirroringState, "DISCONNECTED") ||
                 sameWord(mirror.mirroringState, "DISCONNECTED"))
            add(CheckStatus::Critical, QStringLiteral("disconnected"));
        else if (!flowing(main.mirroringState) || !flowing(mirror.mirroringState))
            add(CheckStatus::Warning,
                (flowing(main.mirroringState) ? mirror : main).mirroringState.toLower());
    }
    if (problems.empty() && row.verdict.mark == Mark::Action) {
        // What the grid finds beyond these (failed over, a partner the boxes do not name, a copy restored
        // but not partnered) is news for the DBA, not an outage: the hint's summary says which.
        const QString hint = row.verdict.hint;
        const qsizetype colon = hint.indexOf(QStringLiteral(": "));
        add(CheckStatus::Warning, colon > 0 ? hint.left(colon) : markText(Mark::Action));
    }
    queueProblem(problems, "send", larger(main.unsentKb, mirror.unsentKb), t);
    queueProblem(problems, "redo", larger(main.unrestoredKb, mirror.unrestoredKb), t);
    std::stable_sort(problems.begin(), problems.end(),
                     [](const Problem &a, const Problem &b) { return a.status > b.status; });
    return problems;
}

// A database the check speaks of: mirrored on either side, or one the grid says needs action.
bool watched(const StatusRow &row) {
    return !row.main.role.isEmpty() || !row.mirror.role.isEmpty() || row.verdict.mark == Mark::Action ||
           row.verdict.mark == Mark::Healthy;
}

QString kbValue(const std::optional<qint64> &kb) {
    return kb ? QString::number(*kb) + QStringLiteral("KB") : QStringLiteral("U");
}
QString rateValue(const std::optional<double> &rate) {
    return rate ? QString::number(*rate, 'f', 1) : QStringLiteral("U");
}

QStringList perfDataOf(const StatusRow &row, const QueueThresholds &t) {
    const QString limits = QStringLiteral(";%1;%2;0").arg(t.warnKb).arg(t.critKb);
    return {perfLabel(row.db, "unsent") + QLatin1Char('=') +
                kbValue(larger(row.main.unsentKb, row.mirror.unsentKb)) + limits,
            perfLabel(row.db, "unrestored") + QLatin1Char('=') +
                kbValue(larger(row.main.unrestoredKb, row.mirror.unrestoredKb)) + limits,
            perfLabel(row.db, "send rate") + QLatin1Char('=') +
                rateValue(larger(row.main.sendRate, row.mirror.sendRate)) + QStringLiteral(";;;0"),
            perfLabel(row.db, "redo rate") + QLatin1Char('=') +
                rateValue(larger(row.main.redoRate, row.mirror.redoRate)) + QStringLiteral(";;;0")};
}

QString statusLine(CheckStatus status, const QString &text) {
    return QStringLiteral("MIRRORING ") + checkStatusWord(status) + QStringLiteral(" - ") + plainText(text);
}

// A server that was not read, or whose counters were refused, leaves nothing to judge by.
std::optional<CheckResult> unread(const Reading &reading) {
    QStringList why;
    for (size_t slot = 0; slot < 2; ++slot) {
        const ServerReading &r = reading[slot];
        if (!r.read)
            why << sideName(slot == 0) + QStringLiteral(" could not be read: ") + r.failure;
        else if (!r.countersRead)
            why << sideName(slot == 0) + QStringLiteral("'s mirroring counters could not be read: ") +
                       r.failure;
    }
    if (why.isEmpty())
        return std::nullopt;
    CheckResult result;
    result.status = CheckStatus::Unknown;
    result.statusLine = statusLine(result.status, why.join(QStringLiteral("; ")));
    return result;
}

} // namespace

QString checkStatusWord(CheckStatus status) {
    switch (status) {
    case CheckStatus::Ok:
        return QStringLiteral("OK");
    case CheckStatus::Warning:
        return QStringLiteral("WARNING");
    case CheckStatus::Critical:
        return QStringLiteral("CRITICAL");
    case CheckStatus::Unknown:
        break;
    }
    return QStringLiteral("UNKNOWN");
}

QString CheckResult::text() const {
    QStringList lines{statusLine};
    lines << details;
    if (!perfData.isEmpty())
        lines << QStringLiteral("| ") + perfData.join(QLatin1Char(' '));
    return lines.join(QLatin1Char('\n'));
}

CheckResult checkMirroring(const Reading &reading, const std::vector<StatusRow> &rows,
                           const QueueThresholds &thresholds) {
    if (auto result = unread(reading))
        return *result;

    CheckResult result;
    std::vector<Judged> judged;
    int watchedCount = 0;
    for (const StatusRow &row : rows) {
        if (!watched(row))
            continue;
        ++watchedCount;
        if (!row.main.role.isEmpty() || !row.mirror.role.isEmpty())
            result.perfData << perfDataOf(row, thresholds);
        Judged j{&row, problemsOf(row, thresholds)};
        if (!j.problems.empty())
            judged.push_back(std::move(j));
    }
    // The worst first; among equals, in name order as the grid lists them.
    std::stable_sort(judged.begin(), judged.end(),
                     [](const Judged &a, const Judged &b) { return a.worst() > b.worst(); });

    QStringList named;
    for (const Judged &j : judged) {
        result.status = std::max(result.status, j.worst());
        if (named.size() < kNamedInStatusLine)
            named << j.row->db + QLatin1Char(' ') + j.problems.front().words;
        const bool hinted = !j.row->verdict.hint.isEmpty() && j.row->verdict.mark == Mark::Action;
        bool told = false;
        for (const Problem &p : j.problems) {
            if (p.queue)
                result.details << plainText(
                    QStringLiteral("%1: %2 is over %3 KB")
                        .arg(j.row->db, p.words)
                        .arg(p.status == CheckStatus::Critical ? thresholds.critKb : thresholds.warnKb));
            else if (!told) {
                result.details << plainText(j.row->db + QStringLiteral(": ") +
                                            (hinted ? j.row->verdict.hint : p.words));
                told = true;
            }
        }
    }
    const int ok = watchedCount - static_cast<int>(judged.size());
    QString text;
    if (static_cast<qsizetype>(judged.size()) > named.size())
        named.last() += QStringLiteral(" and %1 more").arg(judged.size() - static_cast<size_t>(named.size()));
    if (watchedCount == 0)
        text = QStringLiteral("no database is mirrored");
    else
        text = (named.isEmpty() ? QString() : named.join(QStringLiteral(", ")) + QStringLiteral("; ")) +
               QStringLiteral("%1 of %2 databases ok").arg(ok).arg(watchedCount);
    result.statusLine = statusLine(result.status, text);
    return result;
}

} // namespace quorix::status
