#include "core/status/MirroringCheck.h"

#include <QSet>

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

// A monitor reads the first '|' of a line as the start of performance data, and a line end as a new line;
// Nagios rewrites each ';' of the text to ':', which would read as the start of a reason.
QString plainText(QString text) {
    text.replace(QLatin1Char('|'), QChar(0x00A6));
    text.replace(QLatin1Char(';'), QLatin1Char(','));
    for (QChar &c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    return text.simplified();
}

// A label as the plugin guidelines quote it: in quotes, a quote in it doubled. An equals sign, a '|' or a
// control character cannot stand in a label at all and becomes '_'.
QString perfLabel(const QString &label) {
    QString text;
    for (const QChar c : label) {
        if (c == QLatin1Char('\''))
            text += QStringLiteral("''");
        else if (c == QLatin1Char('=') || c == QLatin1Char('|') || c.unicode() < 0x20)
            text += QLatin1Char('_');
        else
            text += c;
    }
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

// The four figures of each mirrored database, by what follows its name in their labels.
const char *const kFigures[] = {"unsent", "unrestored", "send rate", "redo rate"};

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

// Which servers' databases were read.
struct SidesRead {
    bool main = true, mirror = true;
    bool both() const { return main && mirror; }
};

// One server read alone: what it reports of its own copy decides. A copy that is suspended, or whose
// partner does not answer (disconnected: a principal serving with no mirror, or a mirror with no
// principal), is an outage whatever the unread server would have said.
void judgeOneSide(const Side &side, std::vector<Problem> &problems) {
    if (side.role.isEmpty())
        return; // not mirrored here: without the other server nothing says it should be
    const auto add = [&problems](CheckStatus status, QString words) {
        problems.push_back({status, std::move(words), false});
    };
    if (sameWord(side.mirroringState, "SUSPENDED"))
        add(CheckStatus::Critical, QStringLiteral("suspended"));
    else if (sameWord(side.mirroringState, "DISCONNECTED"))
        add(CheckStatus::Critical, QStringLiteral("disconnected"));
    else if (!flowing(side.mirroringState))
        add(CheckStatus::Warning, side.mirroringState.toLower());
}

std::vector<Problem> problemsOf(const StatusRow &row, const QueueThresholds &t, SidesRead read) {
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
    if (!read.both())
        judgeOneSide(read.main ? main : mirror, problems);
    else if (sameWord(main.role, "PRINCIPAL") && sameWord(mirror.role, "PRINCIPAL"))
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
bool watched(const StatusRow &row, SidesRead read) {
    if (!read.both()) {
        const Side &side = read.main ? row.main : row.mirror;
        return !side.role.isEmpty() || unusable(side);
    }
    return !row.main.role.isEmpty() || !row.mirror.role.isEmpty() || row.verdict.mark == Mark::Action ||
           row.verdict.mark == Mark::Healthy;
}

QString kbValue(const std::optional<qint64> &kb) {
    return kb ? QString::number(*kb) + QStringLiteral("KB") : QStringLiteral("U");
}
QString rateValue(const std::optional<double> &rate) {
    return rate ? QString::number(*rate, 'f', 1) : QStringLiteral("U");
}

// name: the database's name in its labels, unique among the check's labels.
QStringList perfDataOf(const StatusRow &row, const QString &name, const QueueThresholds &t) {
    const QString limits = QStringLiteral(";%1;%2;0").arg(t.warnKb).arg(t.critKb);
    const auto label = [&name](int figure) {
        return perfLabel(name + QLatin1Char(' ') + QLatin1String(kFigures[figure])) + QLatin1Char('=');
    };
    return {label(0) + kbValue(larger(row.main.unsentKb, row.mirror.unsentKb)) + limits,
            label(1) + kbValue(larger(row.main.unrestoredKb, row.mirror.unrestoredKb)) + limits,
            label(2) + rateValue(larger(row.main.sendRate, row.mirror.sendRate)) + QStringLiteral(";;;0"),
            label(3) + rateValue(larger(row.main.redoRate, row.mirror.redoRate)) + QStringLiteral(";;;0")};
}

// Names that stand in no label yet: a name whose labels would repeat one already given (two names that
// differ only in a character a label cannot hold, "a=b" and "a_b") gets " (2)", " (3)", ... after it.
class LabelNames {
public:
    QString take(const QString &db) {
        QString name = db;
        for (int n = 2; taken(name); ++n)
            name = db + QStringLiteral(" (%1)").arg(n);
        for (const char *figure : kFigures)
            m_labels.insert(perfLabel(name + QLatin1Char(' ') + QLatin1String(figure)));
        return name;
    }

private:
    bool taken(const QString &name) const {
        for (const char *figure : kFigures)
            if (m_labels.contains(perfLabel(name + QLatin1Char(' ') + QLatin1String(figure))))
                return true;
        return false;
    }
    QSet<QString> m_labels;
};

QString statusLine(CheckStatus status, const QString &text) {
    return QStringLiteral("MIRRORING ") + checkStatusWord(status) + QStringLiteral(" - ") + plainText(text);
}

// What could not be read, server by server: "the Mirror could not be read: ...".
QStringList unreadParts(const Reading &reading) {
    QStringList why;
    for (size_t slot = 0; slot < 2; ++slot) {
        const ServerReading &r = reading[slot];
        if (!r.read)
            why << sideName(slot == 0) + QStringLiteral(" could not be read: ") + r.failure;
        else if (!r.countersRead)
            why << sideName(slot == 0) + QStringLiteral("'s mirroring counters could not be read: ") +
                       r.failure;
    }
    return why;
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
    const QStringList unread = unreadParts(reading);
    const SidesRead read{reading[0].read, reading[1].read};
    CheckResult result;
    if (!read.main && !read.mirror) {
        result.status = CheckStatus::Unknown; // nothing to judge by
        result.statusLine = statusLine(result.status, unread.join(QStringLiteral(" - ")));
        return result;
    }
    // A server or its counters not read leave the check short of what it watches: never OK.
    if (!unread.isEmpty())
        result.status = CheckStatus::Warning;

    std::vector<Judged> judged;
    int watchedCount = 0;
    LabelNames labels;
    for (const StatusRow &row : rows) {
        if (!watched(row, read))
            continue;
        ++watchedCount;
        if (!row.main.role.isEmpty() || !row.mirror.role.isEmpty())
            result.perfData << perfDataOf(row, labels.take(row.db), thresholds);
        Judged j{&row, problemsOf(row, thresholds, read)};
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
        text = (named.isEmpty() ? QString() : named.join(QStringLiteral(", ")) + QStringLiteral(" - ")) +
               QStringLiteral("%1 of %2 databases ok").arg(ok).arg(watchedCount);
    for (const QString &why : unread)
        text += QStringLiteral(" - ") + why;
    result.statusLine = statusLine(result.status, text);
    return result;
}

} // namespace quorix::status
