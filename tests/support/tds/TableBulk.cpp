// The table model's side of a bulk load: the statements a bulk-copy client sends before its rows (the
// column query under FMTONLY, INSERT BULK naming the table and the columns it sends) and the rows of the
// bulk-load message itself.

#include "tds/TableModel.h"
#include "tds/TableModelText.h"
#include "tds/Text.h"

#include <algorithm>

namespace quorix::tds {

using namespace modeltext;

namespace {

// The column list of "INSERT BULK t (" from pos on (the inside of its parentheses); pos ends after the ")".
std::optional<std::string> parenthesized(const std::string &text, std::size_t &pos) {
    const std::size_t start = pos;
    TextScan scan{.depth = 1};
    for (; pos < text.size(); ++pos)
        if (scan.take(text[pos]) && text[pos] == ')' && scan.depth == 0)
            return text.substr(start, pos++ - start);
    return std::nullopt;
}

// The name at the start of a column declaration ("[Order Id] int", "name nvarchar(50) COLLATE ...").
std::string declaredName(const std::string &declaration) {
    if (!declaration.empty() && declaration.front() == '[') {
        std::size_t i = 1;
        while (i < declaration.size() &&
               !(declaration[i] == ']' && (i + 1 >= declaration.size() || declaration[i + 1] != ']')))
            i += declaration[i] == ']' ? 2 : 1;
        return declaration.substr(0, std::min(i + 1, declaration.size()));
    }
    return declaration.substr(0, declaration.find_first_of(" \t\r\n"));
}

} // namespace

std::optional<Reply> TableModel::bulkStatement(const std::string &text, const ConnectionState &state,
                                               std::optional<BulkTarget> &target) {
    static const std::regex fmtOnly =
        re(R"(\s*SET\s+FMTONLY\s+ON\s+SELECT\s+\*\s+FROM\s+)" + kName + R"(\s+SET\s+FMTONLY\s+OFF\s*;?\s*)");
    static const std::regex head = re(R"(\s*INSERT\s+BULK\s+)" + kName + R"(\s*\()");
    static const std::regex with = re(R"(\s*(?:WITH\s*\(([^)]*)\))?\s*;?\s*)");
    if (text.size() > 100000)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    if (m_tables.empty())
        return std::nullopt;
    std::smatch m;
    if (text.size() <= 4000 && std::regex_match(text, m, fmtOnly)) {
        const Table *t = find(m[1].str(), state.database);
        if (!t)
            return invalidObject(m[1].str());
        return Reply::rows(ResultSet{t->columns, {}});
    }
    if (!std::regex_search(text, m, head, std::regex_constants::match_continuous))
        return std::nullopt;
    std::size_t pos = static_cast<std::size_t>(m.length(0));
    const std::optional<std::string> list = parenthesized(text, pos);
    std::smatch options;
    const std::string rest = list ? text.substr(pos) : std::string();
    if (!list || !std::regex_match(rest, options, with))
        return Reply::error(102, "Incorrect syntax near 'BULK'.");
    const Table *t = find(m[1].str(), state.database);
    if (!t)
        return invalidObject(m[1].str());
    BulkTarget next;
    next.table = m[1].str();
    for (const std::string &declaration : splitList(*list)) {
        const std::string name = declaredName(declaration);
        if (columnIndex(*t, name) < 0)
            return Reply::error(207, "Invalid column name '" + name + "'.");
        next.columns.push_back(name);
    }
    for (const std::string &option : splitList(options[1].str()))
        if (equalsIgnoreCase(option, "KEEP_IDENTITY"))
            next.keepIdentity = true;
    target = std::move(next);
    return Reply::done();
}

Reply TableModel::bulkLoad(const BulkTarget &target, std::size_t streamColumns, const std::vector<Row> &rows,
                           const ConnectionState &state) {
    std::lock_guard lock(m_mutex);
    Table *t = find(target.table, state.database);
    if (!t)
        return invalidObject(target.table);
    if (streamColumns != target.columns.size())
        return Reply::error(4816, "Invalid column type from bcp client for colid " +
                                      std::to_string(std::min(streamColumns, target.columns.size()) + 1) +
                                      ".");
    std::vector<int> targets;
    for (const std::string &name : target.columns) {
        const int i = columnIndex(*t, name);
        if (i < 0)
            return Reply::error(207, "Invalid column name '" + name + "'.");
        if (std::optional<Reply> refused = writable(t->columns[static_cast<std::size_t>(i)]))
            return *refused;
        targets.push_back(i);
    }
    std::vector<std::vector<Literal>> values;
    values.reserve(rows.size());
    for (const Row &row : rows) {
        if (row.size() != targets.size())
            return Reply::error(4816, "Invalid column type from bcp client for colid " +
                                          std::to_string(std::min(row.size(), targets.size()) + 1) + ".");
        std::vector<Literal> literals;
        literals.reserve(row.size());
        for (const Value &v : row)
            literals.push_back(Literal{.ok = true, .value = v, .untypedText = false});
        values.push_back(std::move(literals));
    }
    const Identity identity =
        target.keepIdentity || identityInsertOn(*t, state) ? Identity::Kept : Identity::Assigned;
    return insertValues(*t, targets, values, identity);
}

} // namespace quorix::tds
