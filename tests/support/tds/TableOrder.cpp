// The order of the table model's rows and the conditions of its keyed reads (see TableModel.h): values
// compared as the server compares them, rows kept in the order of some columns, and a condition read into
// a tree that a row is checked against.

#include "tds/TableModelText.h"
#include "tds/Text.h"

#include <algorithm>
#include <numeric>
#include <set>

namespace quorix::tds::modeltext {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool numeric(SqlType type) {
    switch (type) {
    case SqlType::Int:
    case SqlType::BigInt:
    case SqlType::SmallInt:
    case SqlType::TinyInt:
    case SqlType::Bit:
    case SqlType::Float:
    case SqlType::Real:
    case SqlType::Decimal:
    case SqlType::Numeric:
    case SqlType::Money:
        return true;
    default:
        return false;
    }
}

bool textual(SqlType type) {
    switch (type) {
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::NChar:
    case SqlType::NVarChar:
    case SqlType::VarCharMax:
    case SqlType::NVarCharMax:
        return true;
    default:
        return false;
    }
}

} // namespace

// @P<n> read without a regular expression (a block holds thousands), anything else as literal() reads it.
Literal valueOf(const std::string &item, const ConnectionState &state) {
    if (item.size() >= 3 && item[0] == '@' && (item[1] == 'P' || item[1] == 'p') &&
        std::all_of(item.begin() + 2, item.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const std::size_t i = std::stoul(item.substr(2));
        if (i >= 1 && i <= state.params.size())
            return {true, state.params[i - 1].value, textual(state.params[i - 1].type)};
        return {false, std::nullopt};
    }
    if (item.size() > 5 && equalsIgnoreCase(item.substr(0, 5), "CAST(")) {
        static const std::regex cast(
            R"(CAST\s*\(\s*(.+?)\s+AS\s+[a-z0-9]+\s*(?:\(\s*\d+\s*(?:,\s*\d+\s*)?\))?\s*\))",
            std::regex::icase);
        std::smatch m;
        if (std::regex_match(item, m, cast)) {
            Literal inner = valueOf(m[1].str(), state);
            inner.untypedText = false;
            return inner;
        }
    }
    return literal(item, state);
}

std::optional<Reply> implicitConversionRefused(const Column &c, const Literal &value) {
    if (!value.untypedText || !value.value || c.type != SqlType::DateTimeOffset)
        return std::nullopt;
    return Reply::error(257, "Implicit conversion from data type nvarchar to datetimeoffset is not allowed. "
                             "Use the CONVERT function to run this query.");
}

// The order of two values of the column: numbers by value, text ignoring case (and trailing blanks, as
// the server compares), the rest by its text; NULL before everything.
int compare(const Column &c, const Value &a, const Value &b) {
    if (!a || !b)
        return a ? 1 : b ? -1 : 0;
    if (numeric(c.type)) {
        const long double x = std::strtold(a->c_str(), nullptr);
        const long double y = std::strtold(b->c_str(), nullptr);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if (textual(c.type)) {
        const auto trimmed = [](const std::string &s) {
            return lower(s.substr(0, s.find_last_not_of(' ') + 1));
        };
        const int r = trimmed(*a).compare(trimmed(*b));
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
    const int r = a->compare(*b);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int compareRows(const TableModel::Table &t, const std::vector<int> &columns, const Row &a, const Row &b) {
    for (const int i : columns)
        if (const int r = compare(t.columns[static_cast<std::size_t>(i)], a[static_cast<std::size_t>(i)],
                                  b[static_cast<std::size_t>(i)]))
            return r;
    return 0;
}

// The rows' indexes in the order of columns, kept with the table until a change may move a row.
const std::vector<std::size_t> &orderOf(TableModel::Table &t, const std::vector<int> &columns) {
    if (t.orderedBy == columns && t.order.size() == t.rows.size())
        return t.order;
    t.order.resize(t.rows.size());
    std::iota(t.order.begin(), t.order.end(), std::size_t{0});
    std::stable_sort(t.order.begin(), t.order.end(), [&](std::size_t a, std::size_t b) {
        return compareRows(t, columns, t.rows[a], t.rows[b]) < 0;
    });
    t.orderedBy = columns;
    return t.order;
}

bool Condition::holds(const TableModel::Table &t, const Row &row) const {
    switch (kind) {
    case Kind::And:
        return std::all_of(parts.begin(), parts.end(), [&](const Condition &c) { return c.holds(t, row); });
    case Kind::Or:
        return std::any_of(parts.begin(), parts.end(), [&](const Condition &c) { return c.holds(t, row); });
    default: {
        const Value &field = row[static_cast<std::size_t>(column)];
        if (!field || !value)
            return false;
        const int r = compare(t.columns[static_cast<std::size_t>(column)], field, value);
        return op == "="                  ? r == 0
               : op == "<>" || op == "!=" ? r != 0
               : op == "<"                ? r < 0
               : op == ">"                ? r > 0
               : op == "<="               ? r <= 0
                                          : r >= 0;
    }
    }
}

namespace {

class ConditionParser {
public:
    ConditionParser(const std::string &text, const TableModel::Table &t, const ConnectionState &state)
        : m_t(t), m_state(state) {
        tokenize(text);
    }
    Condition parse() {
        Condition c = either();
        if (m_at != m_tokens.size())
            throw syntax();
        return c;
    }

private:
    void tokenize(const std::string &s) {
        for (std::size_t i = 0; i < s.size();) {
            const char c = s[i];
            if (blank(c)) {
                ++i;
            } else if (c == '(' || c == ')') {
                m_tokens.emplace_back(1, c);
                ++i;
            } else if (c == '=' || c == '<' || c == '>' || c == '!') {
                const std::size_t n = i + 1 < s.size() && (s[i + 1] == '=' || s[i + 1] == '>') ? 2 : 1;
                m_tokens.push_back(s.substr(i, n));
                i += n;
            } else {
                std::size_t j = i;
                char quote = 0;
                for (; j < s.size(); ++j) {
                    const char d = s[j];
                    if (quote) {
                        if (d == quote)
                            quote = 0;
                        continue;
                    }
                    if (d == '\'' || d == '"')
                        quote = d;
                    else if (d == '[')
                        quote = ']';
                    else if (blank(d) || d == '(' || d == ')' || d == '=' || d == '<' || d == '>' || d == '!')
                        break;
                }
                m_tokens.push_back(s.substr(i, j - i));
                i = j;
            }
        }
    }
    ConditionError syntax() const {
        const std::string near = m_at < m_tokens.size() ? m_tokens[m_at] : std::string();
        return {Reply::error(102, "Incorrect syntax near '" + near + "'.")};
    }
    bool take(const std::string &word) {
        if (m_at < m_tokens.size() && equalsIgnoreCase(m_tokens[m_at], word)) {
            ++m_at;
            return true;
        }
        return false;
    }
    Condition joined(Condition::Kind kind, Condition (ConditionParser::*next)(), const char *word) {
        Condition first = (this->*next)();
        if (m_at >= m_tokens.size() || !equalsIgnoreCase(m_tokens[m_at], word))
            return first;
        Condition all;
        all.kind = kind;
        all.parts.push_back(std::move(first));
        while (take(word))
            all.parts.push_back((this->*next)());
        return all;
    }
    Condition either() { return joined(Condition::Kind::Or, &ConditionParser::both, "OR"); }
    Condition both() { return joined(Condition::Kind::And, &ConditionParser::primary, "AND"); }
    Condition primary() {
        if (take("(")) {
            Condition c = either();
            if (!take(")"))
                throw syntax();
            return c;
        }
        if (m_at + 3 > m_tokens.size())
            throw syntax();
        std::string left = m_tokens[m_at], op = m_tokens[m_at + 1], right = m_tokens[m_at + 2];
        m_at += 3;
        static const std::set<std::string> ops{"=", "<>", "!=", "<", ">", "<=", ">="};
        if (!ops.count(op))
            throw syntax();
        Condition c;
        c.column = isColumn(left) ? columnIndex(m_t, left) : -1;
        if (c.column < 0) { // the value stands on the left: turn the comparison round
            std::swap(left, right);
            op = op == "<" ? ">" : op == ">" ? "<" : op == "<=" ? ">=" : op == ">=" ? "<=" : op;
            c.column = isColumn(left) ? columnIndex(m_t, left) : -1;
        }
        if (c.column < 0)
            throw ConditionError{Reply::error(207, "Invalid column name '" + left + "'.")};
        c.op = op;
        const Literal value = valueOf(right, m_state);
        if (!value.ok)
            throw ConditionError{Reply::error(137, "Must declare the scalar variable \"" + right + "\".")};
        try {
            c.value = normalized(m_t.columns[static_cast<std::size_t>(c.column)], value.value);
        } catch (const std::invalid_argument &) {
            c.value = value.value;
        }
        return c;
    }
    bool isColumn(const std::string &token) const {
        return !token.empty() && token[0] != '@' && token[0] != '\'' && !equalsIgnoreCase(token, "NULL") &&
               !(token.size() > 1 && (token[0] == 'N' || token[0] == 'n') && token[1] == '\'');
    }

    const TableModel::Table &m_t;
    const ConnectionState &m_state;
    std::vector<std::string> m_tokens;
    std::size_t m_at = 0;
};
} // namespace

Condition parseCondition(const std::string &text, const TableModel::Table &t, const ConnectionState &state) {
    return ConditionParser(text, t, state).parse();
}

} // namespace quorix::tds::modeltext
