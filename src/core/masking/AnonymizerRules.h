#pragma once

// The anonymizer's rules that need no window: the work list's parse, the name lists, the draw of a name
// and the confirmation's text.

#include <QString>
#include <QStringList>
#include <random>
#include <vector>

namespace quorix {

// A table line holds the table and up to four name columns.
inline constexpr int kWorkListColumns = 5;

struct WorkList {
    // One row per CR LF-separated line of the text: cell k is word k + 1, words separated by single
    // blanks. Two blanks in a row make an empty cell, a leading blank an empty table cell; a trailing blank
    // adds no cell. At most kWorkListColumns cells.
    std::vector<QStringList> rows;
    struct Excess {
        int row = 0;
        QString word;
    };
    // Words beyond the fifth of a line, in text order: they are reported and left out.
    std::vector<Excess> excess;
};
WorkList parseWorkList(QString text);

// The entries of a name box's text: one per CR LF-separated line, in text order (a line may be empty or
// end in blanks; the text's final CR LF ends the last entry rather than adding an empty one).
QStringList nameEntries(QString text);

// The confirmation's text: "Are you sure you want to anonymize " + the connection string, its password
// replaced by asterisks, + "?". An empty string stays empty.
QString anonymizeConfirmation(const QString &connectionString);

// Draws of list entries, seeded once per run. Every named column of every record takes one draw, also when
// its field is then left alone.
class NameDraw {
public:
    static constexpr int kRange = 999; // the lists are meant to hold at least this many entries

    explicit NameDraw(std::uint64_t seed) : m_engine(seed) {}
    // An index from 0 to min(kRange, listSize) - 1, uniformly: a short list is never read past its end.
    // -1 for an empty list.
    int index(qsizetype listSize);

private:
    std::mt19937_64 m_engine;
    std::uniform_real_distribution<double> m_unit{0.0, 1.0};
};

} // namespace quorix
