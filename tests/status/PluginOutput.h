#pragma once

// A monitoring plugin's output read back as a monitor reads it: the status line, the long text, and the
// performance data ('label'=value[UOM];warn;crit;min;max) after the first '|' of the first line or of a
// later one, everything after that '|' being performance data.

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <vector>

namespace quorix::testing {

struct PerfValue {
    QString label, value, uom, warn, crit, min, max;
};

struct PluginOutput {
    QString statusLine;
    QStringList longText;
    std::vector<PerfValue> perf;
    QString unread; // performance data that is not of the form ("" when all is)

    const PerfValue *find(const QString &label) const {
        for (const PerfValue &p : perf)
            if (p.label == label)
                return &p;
        return nullptr;
    }
};

inline PluginOutput readPluginOutput(const QString &text) {
    PluginOutput out;
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    QString perf;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const qsizetype bar = lines[n].indexOf(QLatin1Char('|'));
        const QString before = (bar < 0 ? lines[n] : lines[n].left(bar)).trimmed();
        if (n == 0)
            out.statusLine = before;
        else if (!before.isEmpty())
            out.longText << before;
        if (bar >= 0 && n > 0) { // the rest of the output is performance data
            perf += lines.mid(n).join(QLatin1Char(' ')).mid(bar + 1);
            break;
        }
        if (bar >= 0)
            perf += lines[n].mid(bar + 1) + QLatin1Char(' ');
    }
    // A label quoted (a quote in it doubled) or bare, '=', the value and its unit, the rest after ';'.
    static const QRegularExpression item(
        QStringLiteral("\\s*(?:'((?:[^']|'')*)'|([^'=\\s]+))=(U|-?[0-9]+(?:\\.[0-9]+)?)([a-zA-Z%]*)((?:;[^;"
                       "\\s]*){0,4})(?=\\s|$)"));
    qsizetype at = 0;
    for (auto m = item.match(perf); m.hasMatch() && m.capturedStart() == at; m = item.match(perf, at)) {
        const QStringList limits = m.captured(5).split(QLatin1Char(';'));
        QString label = m.captured(1).isNull() ? m.captured(2) : m.captured(1);
        out.perf.push_back({label.replace(QStringLiteral("''"), QStringLiteral("'")), m.captured(3),
                            m.captured(4), limits.value(1), limits.value(2), limits.value(3),
                            limits.value(4)});
        at = m.capturedEnd();
    }
    out.unread = perf.mid(at).trimmed();
    return out;
}

} // namespace quorix::testing
