#include "tds/TableModel.h"

#include "tds/Codec.h"
#include "tds/TableModelText.h"
#include "tds/Text.h"

#include <algorithm>
#include <cstdio>
#include <regex>
#include <utility>

namespace quorix::tds {

namespace modeltext {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return s;
}

// The parts of a dotted name without their brackets or quotes.
std::vector<std::string> nameParts(const std::string &name) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '[' || c == '"') {
            const char close = c == '[' ? ']' : '"';
            for (++i; i < name.size(); ++i) {
                if (name[i] == close) {
                    if (i + 1 < name.size() && name[i + 1] == close)
                        ++i;
                    else
                        break;
                }
                parts.back() += name[i];
            }
        } else if (c == '.') {
            parts.emplace_back();
        } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            parts.back() += c;
        }
    }
    return parts;
}

std::string key(const std::string &database, const std::string &table) {
    return lower(database) + "." + lower(table);
}

bool TextScan::take(char c) {
    if (quote) {
        if (c == quote)
            quote = 0;
        return false;
    }
    if (c == '\'' || c == '"')
        quote = c;
    else if (c == '[')
        quote = ']';
    else if (c == '(')
        ++depth;
    else if (c == ')')
        --depth;
    return true;
}

// Items of a comma-separated list, outside quotes, brackets and parentheses.
std::vector<std::string> splitList(const std::string &text) {
    std::vector<std::string> items(1);
    TextScan scan;
    for (const char c : text) {
        if (scan.take(c) && c == ',' && scan.depth == 0) {
            items.emplace_back();
            continue;
        }
        items.back() += c;
    }
    for (std::string &item : items) {
        const auto first = item.find_first_not_of(" \t\r\n");
        const auto last = item.find_last_not_of(" \t\r\n");
        item = first == std::string::npos ? std::string() : item.substr(first, last - first + 1);
    }
    if (items.size() == 1 && items[0].empty())
        items.clear();
    return items;
}

const std::string kPart = R"((?:\[(?:[^\]]|\]\])*\]|"[^"]*"|[\w#@$]+))";
const std::string kName = "(" + kPart + R"((?:\s*\.\s*)" + kPart + "?)*)";
const std::string kCursor = R"((?:GLOBAL\s+)?([\w#@$]+))";

std::regex re(const std::string &pattern) {
    return std::regex(pattern, std::regex::ECMAScript | std::regex::icase);
}

Reply failure(int number, const std::string &text) {
    return Reply::error(number, text).then(Message{3621, 0, 0, "The statement has been terminated.", {}, 1});
}

Reply invalidObject(const std::string &name) {
    return Reply::error(208, "Invalid object name '" + name + "'.");
}

// The value as the column holds it; throws std::invalid_argument when it does not fit.
Value normalized(const Column &column, const Value &value) {
    if (!value)
        return value;
    const std::vector<Row> sizing{{value}};
    const TypeDesc type = describeColumn(column, column.length > 0 ? nullptr : &sizing, 0);
    Bytes b;
    putValue(b, type, value);
    Cursor c(b);
    return readValue(c, type);
}

// @P1 (the RPC's parameters in order), @name, NULL, 'text', N'text' or a plain number.
Literal literal(const std::string &item, const ConnectionState &state) {
    static const std::regex marker(R"(@P(\d+))", std::regex::icase);
    std::smatch m;
    if (std::regex_match(item, m, marker)) {
        const std::size_t i = std::stoul(m[1].str());
        if (i >= 1 && i <= state.params.size())
            return {true, state.params[i - 1].value};
        return {false, std::nullopt};
    }
    if (!item.empty() && item[0] == '@') {
        for (const Param &p : state.params)
            if (equalsIgnoreCase(p.name, item))
                return {true, p.value};
        return {false, std::nullopt};
    }
    if (equalsIgnoreCase(item, "NULL"))
        return {true, std::nullopt};
    std::string text = item;
    if (text.size() >= 3 && (text[0] == 'N' || text[0] == 'n') && text[1] == '\'')
        text.erase(0, 1);
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
        std::string out;
        for (std::size_t i = 1; i + 1 < text.size(); ++i) {
            out += text[i];
            if (text[i] == '\'' && text[i + 1] == '\'')
                ++i;
        }
        return {true, out};
    }
    return {true, text};
}

int columnIndex(const TableModel::Table &t, const std::string &name) {
    const std::string bare = nameParts(name).back();
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        if (equalsIgnoreCase(t.columns[i].name, bare))
            return static_cast<int>(i);
    return -1;
}

std::string rowversion(TableModel::Table &t) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(++t.version));
    return text;
}

// Assigns value to column i of row; an error reply when the column refuses it.
std::optional<Reply> assign(TableModel::Table &t, Row &row, int i, const Value &value) {
    const Column &c = t.columns[static_cast<std::size_t>(i)];
    if (!value && !c.nullable)
        return failure(515, "Cannot insert the value NULL into column '" + c.name + "', table '" + t.name +
                                "'; column does not allow nulls. INSERT fails.");
    try {
        row[static_cast<std::size_t>(i)] = normalized(c, value);
    } catch (const std::invalid_argument &e) {
        if (std::string(e.what()).find("longer") != std::string::npos)
            return failure(8152, "String or binary data would be truncated.");
        return failure(245, "Conversion failed when converting the value '" + value.value_or("") +
                                "' to the type of column '" + c.name + "'.");
    }
    return std::nullopt;
}

std::optional<Reply> writable(const Column &c) {
    if (c.computed)
        return Reply::error(271, "The column \"" + c.name +
                                     "\" cannot be modified because it is either a computed column or is "
                                     "the result of a UNION operator.");
    if (c.rowversion)
        return Reply::error(273, "Cannot insert an explicit value into a timestamp column. Use INSERT with a "
                                 "column list to exclude the timestamp column, or insert a DEFAULT into the "
                                 "timestamp column.");
    return std::nullopt;
}

ResultSet single(const std::string &column, const std::string &type, const Value &value) {
    return ResultSet{{makeColumn(column, type)}, {{value}}};
}

} // namespace modeltext

using namespace modeltext;

// ---- Tables ----------------------------------------------------------------------------------------------

void TableModel::set(const std::string &name, std::vector<Column> columns, std::vector<Row> rows) {
    const std::vector<std::string> parts = nameParts(name);
    Table t;
    t.name = parts.back();
    t.database = parts.size() >= 3 ? parts[parts.size() - 3] : std::string();
    t.columns = std::move(columns);
    for (Row &row : rows) {
        if (row.size() != t.columns.size())
            throw std::invalid_argument("a row of " + name + " has " + std::to_string(row.size()) +
                                        " values for " + std::to_string(t.columns.size()) + " columns");
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = normalized(t.columns[i], row[i]);
    }
    t.rows = std::move(rows);
    std::lock_guard lock(m_mutex);
    m_tables[key(t.database, t.name)] = std::move(t);
}

const TableModel::Table *TableModel::find(const std::string &name, const std::string &database) const {
    const std::vector<std::string> parts = nameParts(name);
    const std::string db = parts.size() >= 3 ? parts[parts.size() - 3] : database;
    for (const std::string &k : {key(db, parts.back()), key("", parts.back())}) {
        const auto it = m_tables.find(k);
        if (it != m_tables.end())
            return &it->second;
    }
    return nullptr;
}

TableModel::Table *TableModel::find(const std::string &name, const std::string &database) {
    return const_cast<Table *>(std::as_const(*this).find(name, database));
}

bool TableModel::has(const std::string &name) const {
    std::lock_guard lock(m_mutex);
    return find(name, "") != nullptr;
}

TableModel::Table TableModel::copy(const std::string &name) const {
    std::lock_guard lock(m_mutex);
    const Table *t = find(name, "");
    if (!t)
        throw std::out_of_range("no table " + name + " in the scripted server");
    return *t;
}

std::vector<Row> TableModel::rows(const std::string &name) const {
    return copy(name).rows;
}

std::vector<Column> TableModel::columns(const std::string &name) const {
    return copy(name).columns;
}

int TableModel::openCursors() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_cursors.size());
}

void TableModel::forget(int connection) {
    std::lock_guard lock(m_mutex);
    std::erase_if(m_cursors, [connection](const auto &c) { return c.first.first == connection; });
    m_fetchStatus.erase(connection);
    m_identityInsert.erase(connection);
}

// ---- Statements ------------------------------------------------------------------------------------------

std::optional<Reply> TableModel::answer(const std::string &text, const ConnectionState &state) {
    std::lock_guard lock(m_mutex);
    if (m_tables.empty())
        return std::nullopt;
    // The forms that carry blocks of rows are read by hand, whatever their length; the rest only when short.
    if (std::optional<Reply> r = blockStatement(text, state))
        return r;
    if (text.size() > 4000)
        return std::nullopt;
    if (std::optional<Reply> r = cursorStatement(text, state))
        return r;
    return tableStatement(text, state);
}

namespace {

// The table named by SELECT [TOP n] * FROM t, if the text is one.
std::optional<std::string> selectedTable(const std::string &text) {
    static const std::regex select =
        re(R"(\s*SELECT\s+(?:TOP\s*\(?\s*\d+\s*\)?\s+)?\*\s+FROM\s+)" + kName + R"(\s*;?\s*)");
    std::smatch m;
    if (text.size() > 4000 || !std::regex_match(text, m, select))
        return std::nullopt;
    return m[1].str();
}

} // namespace

std::optional<ResultSet> TableModel::metadataFor(const std::string &text, const std::string &database) const {
    std::lock_guard lock(m_mutex);
    const std::optional<std::string> name = m_tables.empty() ? std::nullopt : selectedTable(text);
    const Table *t = name ? find(*name, database) : nullptr;
    return t ? std::optional<ResultSet>(ResultSet{t->columns, {}}) : std::nullopt;
}

std::optional<Message> TableModel::prepareRefusal(const std::string &text,
                                                  const std::string &database) const {
    std::lock_guard lock(m_mutex);
    const std::optional<std::string> name = m_tables.empty() ? std::nullopt : selectedTable(text);
    if (!name || find(*name, database))
        return std::nullopt;
    return Message{208, 16, 1, "Invalid object name '" + *name + "'.", {}, 1};
}

std::optional<Reply> TableModel::cursorStatement(const std::string &text, const ConnectionState &state) {
    static const std::regex declare =
        re(R"(DECLARE\s+([\w#@$]+)\s+CURSOR\b[\s\S]*?\bFOR\s+SELECT\s+\*\s+FROM\s+)" + kName);
    static const std::regex open = re(R"(\bOPEN\s+)" + kCursor);
    static const std::regex count = re(R"(\bSELECT\s+COUNT_BIG\s*\(\s*\*\s*\)\s+FROM\s+)" + kName);
    static const std::regex fetch = re(R"(\s*FETCH\s+NEXT\s+FROM\s+)" + kCursor + R"(\s*;?\s*)");
    static const std::regex status = re(R"(\s*SELECT\s+@@FETCH_STATUS\s*;?\s*)");
    static const std::regex update =
        re(R"(\s*UPDATE\s+)" + kName + R"(\s+SET\s+([\s\S]+?)\s+WHERE\s+CURRENT\s+OF\s+)" + kCursor +
           R"(\s*;?\s*)");
    static const std::regex deallocate = re(R"(\bDEALLOCATE\s+)" + kCursor);
    const int connection = state.connection;
    std::smatch m;
    if (std::regex_search(text, m, declare)) {
        const Table *t = find(m[2].str(), state.database);
        if (!t)
            return invalidObject(m[2].str());
        const std::string name = lower(m[1].str());
        if (m_cursors.count({connection, name}))
            return Reply::error(16915, "A cursor with the name '" + m[1].str() + "' already exists.");
        CursorState &cursor = m_cursors[{connection, name}];
        cursor.table = key(t->database, t->name);
        std::smatch o;
        cursor.open = std::regex_search(text, o, open) && lower(o[1].str()) == name;
        Reply reply;
        std::smatch c;
        if (std::regex_search(text, c, count))
            if (const Table *counted = find(c[1].str(), state.database))
                reply.items.emplace_back(single("", "bigint", std::to_string(counted->rows.size())));
        return reply;
    }
    if (std::regex_search(text, m, deallocate)) {
        m_cursors.erase({connection, lower(m[1].str())});
        return Reply::done();
    }
    if (std::regex_match(text, m, status))
        return Reply::rows(single(
            "", "int", std::to_string(m_fetchStatus.count(connection) ? m_fetchStatus[connection] : -1)));
    const bool fetching = std::regex_match(text, m, fetch);
    if (!fetching && !std::regex_match(text, m, update))
        return std::nullopt;
    const std::string cursorName = m[m.size() - 1].str();
    const auto it = m_cursors.find({connection, lower(cursorName)});
    if (it == m_cursors.end())
        return Reply::error(16916, "A cursor with the name '" + cursorName + "' does not exist.");
    if (!it->second.open)
        return Reply::error(16917, "Cursor is not open.");
    CursorState &cursor = it->second;
    const auto table = m_tables.find(cursor.table);
    if (table == m_tables.end())
        return invalidObject(cursor.table);
    Table &t = table->second;
    if (!fetching)
        return positionedUpdate(t, m[2].str(), cursor, state);
    ResultSet set{t.columns, {}};
    if (cursor.next < t.rows.size())
        set.rows.push_back(t.rows[cursor.next]);
    m_fetchStatus[connection] = set.rows.empty() ? -1 : 0;
    cursor.next = std::min(cursor.next + 1, t.rows.size() + 1);
    return Reply::rows(std::move(set));
}

Reply TableModel::positionedUpdate(Table &t, const std::string &assignments, CursorState &cursor,
                                   const ConnectionState &state) {
    if (cursor.next == 0 || cursor.next > t.rows.size())
        return Reply::error(16930, "The requested row is not in the fetch buffer.");
    Row row = t.rows[cursor.next - 1];
    static const std::regex assignment = re(R"(([\s\S]+?)\s*=\s*([\s\S]+))");
    for (const std::string &item : splitList(assignments)) {
        std::smatch m;
        if (!std::regex_match(item, m, assignment))
            return Reply::error(102, "Incorrect syntax near '" + item + "'.");
        const int i = columnIndex(t, m[1].str());
        if (i < 0)
            return Reply::error(207, "Invalid column name '" + m[1].str() + "'.");
        const Column &c = t.columns[static_cast<std::size_t>(i)];
        if (c.identity)
            return Reply::error(8102, "Cannot update identity column '" + c.name + "'.");
        if (std::optional<Reply> refused = writable(c))
            return *refused;
        const Literal value = literal(m[2].str(), state);
        if (!value.ok)
            return Reply::error(137, "Must declare the scalar variable \"" + m[2].str() + "\".");
        if (std::optional<Reply> refused = assign(t, row, i, value.value))
            return *refused;
    }
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].rowversion)
            row[i] = rowversion(t);
    t.rows[cursor.next - 1] = std::move(row);
    t.orderedBy.clear();
    return Reply::count(1);
}

std::optional<Reply> TableModel::tableStatement(const std::string &text, const ConnectionState &state) {
    static const std::regex select =
        re(R"(\s*SELECT\s+(?:TOP\s*\(?\s*(\d+)\s*\)?\s+)?\*\s+FROM\s+)" + kName + R"(\s*;?\s*)");
    static const std::regex count =
        re(R"(\s*SELECT\s+COUNT(_BIG)?\s*\(\s*\*\s*\)\s+FROM\s+)" + kName + R"(\s*;?\s*)");
    static const std::regex identityInsert =
        re(R"(\s*SET\s+IDENTITY_INSERT\s+)" + kName + R"(\s+(ON|OFF)\s*;?\s*)");
    static const std::regex truncate = re(R"(\s*TRUNCATE\s+TABLE\s+)" + kName + R"(\s*;?\s*)");
    static const std::regex catalog =
        re(R"(FROM\s+(?:)" + kPart +
           R"(\s*\.\s*)?sys\s*\.\s*columns\b[\s\S]*?OBJECT_ID\s*\(\s*N?'((?:[^']|'')*)')");
    std::smatch m;
    if (std::regex_search(text, m, catalog)) {
        std::string name = m[1].str();
        for (std::size_t p = name.find("''"); p != std::string::npos; p = name.find("''", p + 1))
            name.erase(p, 1);
        ResultSet set{{makeColumn("name", "nvarchar(128)"), makeColumn("is_identity", "bit"),
                       makeColumn("is_computed", "bit"), makeColumn("is_rowversion", "bit")},
                      {}};
        if (const Table *t = find(name, state.database))
            for (const Column &c : t->columns)
                set.rows.push_back(
                    {c.name, c.identity ? "1" : "0", c.computed ? "1" : "0", c.rowversion ? "1" : "0"});
        return Reply::rows(std::move(set));
    }
    int form = 0;
    for (const std::regex *r : {&select, &count, &identityInsert, &truncate}) {
        ++form;
        if (std::regex_match(text, m, *r))
            break;
        if (form == 4)
            return std::nullopt;
    }
    const std::string name = form == 1 || form == 2 ? m[2].str() : m[1].str();
    // SET IDENTITY_INSERT takes [ [ database_name . ] schema_name . ] table_name: a database with the empty
    // schema ("db..t"), which SELECT and DML take, is a syntax error there, as a strict engine has it.
    if (form == 3 &&
        std::regex_replace(name, re(R"(\[(?:[^\]]|\]\])*\])"), "x").find("..") != std::string::npos)
        return Reply::error(102, "Incorrect syntax near '..'.");
    Table *t = find(name, state.database);
    if (!t)
        return invalidObject(name);
    switch (form) {
    case 1: {
        const std::size_t top = m[1].matched ? std::stoul(m[1].str()) : t->rows.size();
        ResultSet set{t->columns, {}};
        set.rows.assign(t->rows.begin(),
                        t->rows.begin() + static_cast<std::ptrdiff_t>(std::min(top, t->rows.size())));
        return Reply::rows(std::move(set));
    }
    case 2:
        return Reply::rows(single("", m[1].matched ? "bigint" : "int", std::to_string(t->rows.size())));
    case 4:
        t->rows.clear();
        t->orderedBy.clear();
        return Reply::done();
    default:
        if (equalsIgnoreCase(m[2].str(), "ON"))
            m_identityInsert[state.connection] = key(t->database, t->name);
        else
            m_identityInsert.erase(state.connection);
        return Reply::done();
    }
}

} // namespace quorix::tds
