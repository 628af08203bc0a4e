// The table model's forms that carry blocks of rows: the INSERT of many rows, the read that goes on after a
// key, the UPDATE joined with a VALUES list, and the read of a table's unique index. Statements of many
// rows run to thousands of parameters, so their lists are read by hand; regular expressions only see the
// short pieces around them.

#include "tds/TableModel.h"
#include "tds/TableModelText.h"
#include "tds/Text.h"

#include <algorithm>
#include <numeric>

namespace quorix::tds {

using namespace modeltext;

namespace {

constexpr std::size_t kMaxInsertRows = 1000;

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where word stands in text as a word of its own, outside quotes and brackets; npos when nowhere.
std::size_t findWord(const std::string &text, const std::string &word) {
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '[') {
            quote = ']';
        } else if ((i == 0 || blank(text[i - 1]) || text[i - 1] == '(' || text[i - 1] == ')') &&
                   equalsIgnoreCase(text.substr(i, word.size()), word) &&
                   (i + word.size() == text.size() || blank(text[i + word.size()]) ||
                    text[i + word.size()] == '(')) {
            return i;
        }
    }
    return std::string::npos;
}

// The insides of "(...), (...), ..." from pos on; pos ends after the last ")". None when the text has
// another form there.
std::optional<std::vector<std::string>> rowLists(const std::string &text, std::size_t &pos) {
    std::vector<std::string> out;
    const auto skip = [&] {
        while (pos < text.size() && blank(text[pos]))
            ++pos;
    };
    for (;;) {
        skip();
        if (pos >= text.size() || text[pos] != '(')
            return std::nullopt;
        const std::size_t start = ++pos;
        TextScan scan{.depth = 1};
        for (; pos < text.size(); ++pos)
            if (scan.take(text[pos]) && text[pos] == ')' && scan.depth == 0)
                break;
        if (pos >= text.size())
            return std::nullopt;
        out.push_back(text.substr(start, pos - start));
        ++pos;
        skip();
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
            continue;
        }
        return out;
    }
}

bool onlyEnd(const std::string &text, std::size_t pos) {
    for (; pos < text.size(); ++pos)
        if (!blank(text[pos]) && text[pos] != ';')
            return false;
    return true;
}

// The columns named in a list ("a, [b c], t.d"), or the refusal of the first unknown one.
std::optional<Reply> columnsOf(const TableModel::Table &t, const std::vector<std::string> &names,
                               std::vector<int> &out) {
    for (const std::string &name : names) {
        const int i = columnIndex(t, name);
        if (i < 0)
            return Reply::error(207, "Invalid column name '" + name + "'.");
        out.push_back(i);
    }
    return std::nullopt;
}

} // namespace

std::optional<Reply> TableModel::blockStatement(const std::string &text, const ConnectionState &state) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::nullopt;
    const std::string verb = lower(text.substr(first, 6));
    if (verb == "insert") {
        const std::size_t values = findWord(text, "VALUES");
        if (values == std::string::npos)
            return std::nullopt;
        static const std::regex head =
            re(R"(\s*INSERT\s+(?:INTO\s+)?)" + kName + R"(\s*(?:\(([^)]*)\))?\s*VALUES)");
        std::smatch m;
        const std::string start = text.substr(0, values + 6);
        if (!std::regex_match(start, m, head))
            return std::nullopt;
        std::size_t pos = values + 6;
        const std::optional<std::vector<std::string>> rows = rowLists(text, pos);
        if (!rows || !onlyEnd(text, pos))
            return std::nullopt;
        Table *t = find(m[1].str(), state.database);
        if (!t)
            return invalidObject(m[1].str());
        return insert(*t, m[2].str(), *rows, state);
    }
    if (verb == "update")
        return joinedUpdate(text, state);
    if (verb == "select" && text.size() <= 4000) {
        static const std::regex indexes =
            re(R"(FROM\s+(?:)" + kPart +
               R"(\s*\.\s*)?sys\s*\.\s*indexes\b[\s\S]*?OBJECT_ID\s*\(\s*N?'((?:[^']|'')*)')");
        std::smatch m;
        if (std::regex_search(text, m, indexes)) {
            std::string name = m[1].str();
            for (std::size_t p = name.find("''"); p != std::string::npos; p = name.find("''", p + 1))
                name.erase(p, 1);
            ResultSet set{{makeColumn("index_id", "int"), makeColumn("name", "nvarchar(128)")}, {}};
            if (const Table *t = find(name, state.database))
                for (const Column &c : t->columns)
                    if (c.key)
                        set.rows.push_back({"1", c.name});
            return Reply::rows(std::move(set));
        }
        return keyedRead(text, state);
    }
    return std::nullopt;
}

Reply TableModel::insert(Table &t, const std::string &columnList, const std::vector<std::string> &rowLists,
                         const ConnectionState &state) {
    if (rowLists.size() > kMaxInsertRows)
        return Reply::error(10738, "The number of row value expressions in the INSERT statement exceeds the "
                                   "maximum allowed number of 1000 row values.");
    std::vector<int> targets;
    if (columnList.empty()) {
        for (std::size_t i = 0; i < t.columns.size(); ++i)
            if (!t.columns[i].identity && !t.columns[i].computed && !t.columns[i].rowversion)
                targets.push_back(static_cast<int>(i));
    } else {
        for (const std::string &name : splitList(columnList)) {
            const int i = columnIndex(t, name);
            if (i < 0)
                return Reply::error(207, "Invalid column name '" + name + "'.");
            if (std::optional<Reply> refused = writable(t.columns[static_cast<std::size_t>(i)]))
                return *refused;
            targets.push_back(i);
        }
    }
    const bool identityOn = identityInsertOn(t, state);
    std::vector<std::vector<Literal>> rows;
    rows.reserve(rowLists.size());
    for (const std::string &list : rowLists) {
        const std::vector<std::string> values = splitList(list);
        if (values.size() != targets.size())
            return Reply::error(213,
                                "Column name or number of supplied values does not match table definition.");
        std::vector<Literal> row;
        row.reserve(values.size());
        for (std::size_t k = 0; k < targets.size(); ++k) {
            Literal value = valueOf(values[k], state);
            if (!value.ok)
                return Reply::error(137, "Must declare the scalar variable \"" + values[k] + "\".");
            if (std::optional<Reply> refused =
                    implicitConversionRefused(t.columns[static_cast<std::size_t>(targets[k])], value))
                return *refused;
            row.push_back(std::move(value));
        }
        rows.push_back(std::move(row));
    }
    return insertValues(t, targets, rows, identityOn ? Identity::Kept : Identity::Refused);
}

bool TableModel::identityInsertOn(const Table &t, const ConnectionState &state) const {
    const auto on = m_identityInsert.find(state.connection);
    return on != m_identityInsert.end() && on->second == key(t.database, t.name);
}

Reply TableModel::insertValues(Table &t, const std::vector<int> &targets,
                               const std::vector<std::vector<Literal>> &rows, Identity identity) {
    std::vector<int> keys;
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].key)
            keys.push_back(static_cast<int>(i));
    long long nextIdentity = 1;
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].identity)
            for (const Row &r : t.rows)
                if (r[i])
                    nextIdentity = std::max(nextIdentity, std::stoll(*r[i]) + 1);

    // The statement goes in whole or not at all: the rows are built aside first.
    std::vector<Row> added;
    added.reserve(rows.size());
    for (const std::vector<Literal> &values : rows) {
        Row row(t.columns.size());
        bool identityGiven = false;
        for (std::size_t k = 0; k < targets.size(); ++k) {
            const Column &c = t.columns[static_cast<std::size_t>(targets[k])];
            if (c.identity) {
                if (identity == Identity::Refused)
                    return Reply::error(544, "Cannot insert explicit value for identity column in table '" +
                                                 t.name + "' when IDENTITY_INSERT is set to OFF.");
                if (identity == Identity::Assigned)
                    continue; // the value sent is ignored: the table numbers the row
                identityGiven = true;
            }
            if (std::optional<Reply> refused = assign(t, row, targets[k], values[k].value))
                return *refused;
        }
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            const Column &c = t.columns[i];
            if (c.rowversion) {
                row[i] = rowversion(t);
            } else if (c.identity && !identityGiven) {
                row[i] = std::to_string(nextIdentity++);
            } else if (c.identity && row[i]) {
                nextIdentity = std::max(nextIdentity, std::stoll(*row[i]) + 1);
            } else if (!row[i] && !c.nullable && !c.computed &&
                       std::find(targets.begin(), targets.end(), static_cast<int>(i)) == targets.end()) {
                return failure(515, "Cannot insert the value NULL into column '" + c.name + "', table '" +
                                        t.name + "'; column does not allow nulls. INSERT fails.");
            }
        }
        if (!keys.empty()) {
            const auto same = [&](const Row &r) { return compareRows(t, keys, r, row) == 0; };
            if (std::any_of(t.rows.begin(), t.rows.end(), same) ||
                std::any_of(added.begin(), added.end(), same)) {
                return failure(2627, "Violation of PRIMARY KEY constraint 'PK_" + t.name +
                                         "'. Cannot insert duplicate key in object 'dbo." + t.name + "'.");
            }
        }
        added.push_back(std::move(row));
    }
    const std::size_t count = added.size();
    t.rows.insert(t.rows.end(), std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    t.orderedBy.clear();
    return Reply::count(count);
}

std::optional<Reply> TableModel::keyedRead(const std::string &text, const ConnectionState &state) {
    static const std::regex form =
        re(R"(\s*SELECT\s+TOP\s*\(\s*(@\w+|\d+)\s*\)\s+([\s\S]+?)\s+FROM\s+)" + kName +
           R"((?:\s+WHERE\s+([\s\S]+?))?\s+ORDER\s+BY\s+([\s\S]+?)\s*;?\s*)");
    std::smatch m;
    if (!std::regex_match(text, m, form))
        return std::nullopt;
    Table *t = find(m[3].str(), state.database);
    if (!t)
        return invalidObject(m[3].str());
    const Literal top = valueOf(m[1].str(), state);
    if (!top.ok || !top.value)
        return Reply::error(1060, "The number of rows in the TOP clause must be an integer.");
    std::vector<int> selected, ordered;
    if (m[2].str() == "*") {
        selected.resize(t->columns.size());
        std::iota(selected.begin(), selected.end(), 0);
    } else if (std::optional<Reply> refused = columnsOf(*t, splitList(m[2].str()), selected)) {
        return refused;
    }
    std::vector<std::string> orderNames;
    for (std::string item : splitList(m[5].str())) {
        if (item.size() > 4 && equalsIgnoreCase(item.substr(item.size() - 4), " ASC"))
            item.erase(item.size() - 4);
        orderNames.push_back(item);
    }
    if (std::optional<Reply> refused = columnsOf(*t, orderNames, ordered))
        return refused;
    const std::vector<std::size_t> &order = orderOf(*t, ordered);
    auto from = order.begin();
    if (m[4].matched) {
        try {
            const Condition condition = parseCondition(m[4].str(), *t, state);
            // The condition holds from some row on in this order: the first such row is found by halving.
            from = std::partition_point(order.begin(), order.end(),
                                        [&](std::size_t i) { return !condition.holds(*t, t->rows[i]); });
        } catch (const ConditionError &e) {
            return e.reply;
        }
    }
    ResultSet set;
    for (const int i : selected)
        set.columns.push_back(t->columns[static_cast<std::size_t>(i)]);
    const long long limit = std::stoll(*top.value);
    for (auto it = from; it != order.end() && static_cast<long long>(set.rows.size()) < limit; ++it) {
        Row row;
        for (const int i : selected)
            row.push_back(t->rows[*it][static_cast<std::size_t>(i)]);
        set.rows.push_back(std::move(row));
    }
    return Reply::rows(std::move(set));
}

std::optional<Reply> TableModel::joinedUpdate(const std::string &text, const ConnectionState &state) {
    const std::size_t values = findWord(text, "VALUES");
    if (values == std::string::npos)
        return std::nullopt;
    static const std::regex head = re(R"(\s*UPDATE\s+(\w+)\s+SET\s+([\s\S]+?)\s+FROM\s+)" + kName +
                                      R"(\s+(?:AS\s+)?(\w+)\s+(?:INNER\s+)?JOIN\s*\(\s*VALUES)");
    static const std::regex tail = re(R"(\s*\)\s*(?:AS\s+)?(\w+)\s*\(([^)]*)\)\s+ON\s+([\s\S]+?)\s*;?\s*)");
    std::smatch h, e;
    const std::string start = text.substr(0, values + 6);
    if (!std::regex_match(start, h, head))
        return std::nullopt;
    std::size_t pos = values + 6;
    const std::optional<std::vector<std::string>> rows = rowLists(text, pos);
    const std::string end = rows ? text.substr(pos) : std::string();
    if (!rows || end.size() > 4000 || !std::regex_match(end, e, tail))
        return std::nullopt;
    const std::string alias = h[1].str(), fromAlias = h[4].str(), valuesAlias = e[1].str();
    if (!equalsIgnoreCase(alias, fromAlias))
        return Reply::error(4104, "The multi-part identifier \"" + alias + "\" could not be bound.");
    Table *t = find(h[3].str(), state.database);
    if (!t)
        return invalidObject(h[3].str());
    const std::vector<std::string> valueNames = splitList(e[2].str());
    const auto valueColumn = [&](const std::string &qualified) -> int {
        const std::vector<std::string> parts = nameParts(qualified);
        if (parts.size() != 2 || !equalsIgnoreCase(parts[0], valuesAlias))
            return -1;
        for (std::size_t i = 0; i < valueNames.size(); ++i)
            if (equalsIgnoreCase(nameParts(valueNames[i]).back(), parts[1]))
                return static_cast<int>(i);
        return -1;
    };
    const auto tableColumn = [&](const std::string &qualified) -> int {
        const std::vector<std::string> parts = nameParts(qualified);
        if (parts.size() == 2 && !equalsIgnoreCase(parts[0], alias))
            return -1;
        return columnIndex(*t, parts.back());
    };

    // ON t.k = v.k [AND ...]
    std::vector<int> keyColumns, keyValues;
    static const std::regex equal = re(R"(\s*([\w.\[\]]+)\s*=\s*([\w.\[\]]+)\s*)");
    std::string on = e[3].str();
    for (std::size_t and_ = findWord(on, "AND");; and_ = findWord(on, "AND")) {
        const std::string part = on.substr(0, and_);
        std::smatch q;
        if (!std::regex_match(part, q, equal))
            return Reply::error(102, "Incorrect syntax near '" + part + "'.");
        int column = tableColumn(q[1].str()), value = valueColumn(q[2].str());
        if (column < 0 || value < 0) {
            column = tableColumn(q[2].str());
            value = valueColumn(q[1].str());
        }
        if (column < 0 || value < 0)
            return Reply::error(207, "Invalid column name '" + part + "'.");
        keyColumns.push_back(column);
        keyValues.push_back(value);
        if (and_ == std::string::npos)
            break;
        on = on.substr(and_ + 3);
    }

    // SET a = v.a | a = COALESCE(v.a, t.a)
    struct Assignment {
        int column = -1;
        int value = -1;
        bool keepNull = false;
    };
    std::vector<Assignment> assignments;
    static const std::regex plain = re(R"(([\w.\[\]]+)\s*=\s*([\w.\[\]]+))");
    static const std::regex coalesce =
        re(R"(([\w.\[\]]+)\s*=\s*COALESCE\s*\(\s*([\w.\[\]]+)\s*,\s*([\w.\[\]]+)\s*\))");
    for (const std::string &item : splitList(h[2].str())) {
        std::smatch a;
        Assignment next;
        if (std::regex_match(item, a, coalesce)) {
            next.keepNull = true;
            if (tableColumn(a[3].str()) != tableColumn(a[1].str()))
                return Reply::error(102, "Incorrect syntax near '" + item + "'.");
        } else if (!std::regex_match(item, a, plain)) {
            return Reply::error(102, "Incorrect syntax near '" + item + "'.");
        }
        next.column = tableColumn(a[1].str());
        next.value = valueColumn(a[2].str());
        if (next.column < 0 || next.value < 0)
            return Reply::error(207, "Invalid column name '" + item + "'.");
        const Column &c = t->columns[static_cast<std::size_t>(next.column)];
        if (c.identity)
            return Reply::error(8102, "Cannot update identity column '" + c.name + "'.");
        if (std::optional<Reply> refused = writable(c))
            return *refused;
        assignments.push_back(next);
    }

    // Each row of VALUES updates the records whose key columns equal its values; all or nothing.
    const std::vector<std::size_t> &order = orderOf(*t, keyColumns);
    std::map<std::size_t, Row> changed;
    for (const std::string &list : *rows) {
        const std::vector<std::string> items = splitList(list);
        if (items.size() != valueNames.size())
            return Reply::error(8158, "'" + valuesAlias +
                                          "' has more columns than were specified in the column list.");
        std::vector<Value> v;
        std::vector<Literal> given;
        for (const std::string &item : items) {
            const Literal value = valueOf(item, state);
            if (!value.ok)
                return Reply::error(137, "Must declare the scalar variable \"" + item + "\".");
            v.push_back(value.value);
            given.push_back(value);
        }
        for (const Assignment &a : assignments)
            if (std::optional<Reply> refused = implicitConversionRefused(
                    t->columns[static_cast<std::size_t>(a.column)], given[static_cast<std::size_t>(a.value)]))
                return *refused;
        Row probe(t->columns.size());
        bool joins = true;
        for (std::size_t k = 0; k < keyColumns.size(); ++k) {
            const Value &value = v[static_cast<std::size_t>(keyValues[k])];
            joins = joins && value.has_value();
            if (!joins)
                break;
            try {
                probe[static_cast<std::size_t>(keyColumns[k])] =
                    normalized(t->columns[static_cast<std::size_t>(keyColumns[k])], value);
            } catch (const std::invalid_argument &) {
                return failure(245, "Conversion failed when converting the value '" + *value + "'.");
            }
        }
        if (!joins)
            continue;
        const auto range =
            std::equal_range(order.begin(), order.end(), std::size_t(-1), [&](std::size_t a, std::size_t b) {
                const Row &x = a == std::size_t(-1) ? probe : t->rows[a];
                const Row &y = b == std::size_t(-1) ? probe : t->rows[b];
                return compareRows(*t, keyColumns, x, y) < 0;
            });
        for (auto it = range.first; it != range.second; ++it) {
            auto found = changed.find(*it);
            Row &row =
                found != changed.end() ? found->second : changed.emplace(*it, t->rows[*it]).first->second;
            for (const Assignment &a : assignments) {
                const Value &value = v[static_cast<std::size_t>(a.value)];
                if (a.keepNull && !value)
                    continue;
                if (std::optional<Reply> refused = assign(*t, row, a.column, value))
                    return *refused;
            }
        }
    }
    bool reordered = false;
    for (auto &[index, row] : changed) {
        for (std::size_t i = 0; i < t->columns.size(); ++i)
            if (t->columns[i].rowversion)
                row[i] = rowversion(*t);
        t->rows[index] = std::move(row);
    }
    for (const Assignment &a : assignments)
        reordered = reordered || std::count(t->orderedBy.begin(), t->orderedBy.end(), a.column) > 0;
    if (reordered)
        t->orderedBy.clear();
    return Reply::count(changed.size());
}

} // namespace quorix::tds
