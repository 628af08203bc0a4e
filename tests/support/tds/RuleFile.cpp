#include "tds/RuleFile.h"

#include "tds/TableModel.h"
#include "tds/ValueText.h"

#include <algorithm>
#include <regex>
#include <sstream>

namespace quorix::tds {

namespace {

std::string unescape(const std::string &s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return out;
}

Row splitRow(const std::string &s) {
    Row row;
    std::string cell;
    bool escapedCell = false;
    const auto push = [&] {
        if (cell == "NULL" && !escapedCell)
            row.emplace_back(std::nullopt);
        else
            row.emplace_back(unescape(cell));
        cell.clear();
        escapedCell = false;
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '|') {
            cell += '|';
            ++i;
            escapedCell = true;
        } else if (s[i] == '|') {
            push();
        } else {
            cell += s[i];
        }
    }
    push();
    return row;
}

std::string trimmed(const std::string &s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

} // namespace

Column makeColumn(std::string name, const std::string &sqlType, bool nullable) {
    std::string t;
    for (const char c : sqlType)
        if (c != ' ')
            t += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const auto open = t.find('(');
    const std::string base = t.substr(0, open);
    std::vector<std::string> args;
    if (open != std::string::npos) {
        if (t.back() != ')')
            throw std::invalid_argument("bad type: " + sqlType);
        std::stringstream list(t.substr(open + 1, t.size() - open - 2));
        for (std::string a; std::getline(list, a, ',');)
            args.push_back(a);
    }
    const bool max = args.size() == 1 && args[0] == "max";
    const auto number = [&](std::size_t i, int fallback) {
        return i < args.size() ? static_cast<int>(parseInteger(args[i], 0, 8000)) : fallback;
    };
    static const std::pair<const char *, SqlType> plain[] = {{"int", SqlType::Int},
                                                             {"bigint", SqlType::BigInt},
                                                             {"smallint", SqlType::SmallInt},
                                                             {"tinyint", SqlType::TinyInt},
                                                             {"bit", SqlType::Bit},
                                                             {"float", SqlType::Float},
                                                             {"real", SqlType::Real},
                                                             {"money", SqlType::Money},
                                                             {"datetime", SqlType::DateTime},
                                                             {"date", SqlType::Date},
                                                             {"time", SqlType::Time},
                                                             {"datetime2", SqlType::DateTime2},
                                                             {"datetimeoffset", SqlType::DateTimeOffset},
                                                             {"decimal", SqlType::Decimal},
                                                             {"numeric", SqlType::Numeric},
                                                             {"char", SqlType::Char},
                                                             {"varchar", SqlType::VarChar},
                                                             {"nchar", SqlType::NChar},
                                                             {"nvarchar", SqlType::NVarChar},
                                                             {"binary", SqlType::Binary},
                                                             {"varbinary", SqlType::VarBinary},
                                                             {"uniqueidentifier", SqlType::UniqueIdentifier}};
    if ((base == "rowversion" || base == "timestamp") && args.empty()) {
        Column c;
        c.name = std::move(name);
        c.type = SqlType::Binary;
        c.length = 8;
        c.nullable = false;
        c.rowversion = true;
        return c;
    }
    const auto it =
        std::find_if(std::begin(plain), std::end(plain), [&](const auto &p) { return base == p.first; });
    if (it == std::end(plain))
        throw std::invalid_argument("unknown type: " + sqlType);
    Column c;
    c.name = std::move(name);
    c.type = it->second;
    c.nullable = nullable;
    if (max) {
        if (c.type == SqlType::VarChar)
            c.type = SqlType::VarCharMax;
        else if (c.type == SqlType::NVarChar)
            c.type = SqlType::NVarCharMax;
        else if (c.type == SqlType::VarBinary)
            c.type = SqlType::VarBinaryMax;
        else
            throw std::invalid_argument("bad type: " + sqlType);
        return c;
    }
    switch (c.type) {
    case SqlType::Decimal:
    case SqlType::Numeric:
        c.precision = number(0, 18);
        c.scale = number(1, 0);
        break;
    case SqlType::Time:
    case SqlType::DateTime2:
    case SqlType::DateTimeOffset:
        c.scale = number(0, 7);
        break;
    default:
        c.length = number(0, 0);
    }
    return c;
}

void loadRules(std::istream &in, ScriptedServer &server) {
    std::optional<Rule> rule;
    struct Table {
        std::string name;
        ResultSet set;
        std::vector<std::string> keys;
        std::vector<std::string> identities;
    };
    std::optional<Table> table;
    const auto flush = [&] {
        if (rule)
            server.addRule(std::move(*rule));
        rule.reset();
        if (table) {
            const auto column = [&](const std::string &name, const char *what) -> Column & {
                const auto c = std::find_if(table->set.columns.begin(), table->set.columns.end(),
                                            [&](const Column &col) { return col.name == name; });
                if (c == table->set.columns.end())
                    throw std::invalid_argument(std::string(what) + " " + name + " is not a column of " +
                                                table->name);
                c->nullable = false;
                return *c;
            };
            for (const std::string &k : table->keys)
                column(k, "key").key = true;
            for (const std::string &k : table->identities)
                column(k, "identity").identity = true;
            server.tables().set(table->name, std::move(table->set.columns), std::move(table->set.rows));
        }
        table.reset();
    };
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == '#')
            continue;
        const auto space = text.find(' ');
        const std::string word = text.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : trimmed(text.substr(space + 1));
        std::istringstream args(rest);
        try {
            const auto needRule = [&]() -> Reply & {
                if (!rule)
                    throw std::invalid_argument("'" + word + "' outside a rule");
                return rule->reply;
            };
            if (word == "login" || word == "password") {
                std::string a, b;
                args >> a >> b;
                word == "login" ? server.setLogin(a, b) : server.setPassword(a);
            } else if (word == "databases") {
                std::vector<std::string> names;
                for (std::string n; args >> n;)
                    names.push_back(n);
                server.setDatabases(names);
            } else if (word == "default-database") {
                server.setDefaultDatabase(rest);
            } else if (word == "exact" || word == "pattern" || word == "ipattern") {
                flush();
                rule = word == "exact" ? Rule::exact(unescape(rest), {})
                                       : Rule::pattern(rest, {}, word == "ipattern");
                if (word != "exact")
                    std::regex check(rest); // a bad pattern is reported with its line
            } else if (word == "table") {
                flush();
                table = Table{rest, {}, {}, {}};
            } else if (word == "key" || word == "identity") {
                if (!table)
                    throw std::invalid_argument("'" + word + "' outside a table");
                for (std::string k; args >> k;)
                    (word == "key" ? table->keys : table->identities).push_back(k);
            } else if (word == "columns") {
                ResultSet set;
                for (std::string column; args >> column;) {
                    const auto colon = column.find(':');
                    if (colon == std::string::npos)
                        throw std::invalid_argument("column without type: " + column);
                    set.columns.push_back(makeColumn(column.substr(0, colon), column.substr(colon + 1)));
                }
                if (table)
                    table->set.columns = std::move(set.columns);
                else
                    needRule().items.emplace_back(std::move(set));
            } else if (word == "row" && table) {
                table->set.rows.push_back(splitRow(rest));
            } else if (word == "row") {
                Reply &r = needRule();
                ResultSet *set = r.items.empty() ? nullptr : std::get_if<ResultSet>(&r.items.back());
                if (!set)
                    throw std::invalid_argument("'row' without 'columns'");
                set->rows.push_back(splitRow(rest));
            } else if (word == "count") {
                needRule().items.emplace_back(
                    RowCount{static_cast<std::uint64_t>(parseInteger(rest, 0, INT64_MAX))});
            } else if (word == "error" || word == "info") {
                Message m;
                if (!(args >> m.number >> m.severity >> m.state))
                    throw std::invalid_argument("expected: number severity state text");
                std::getline(args >> std::ws, m.text);
                needRule().items.emplace_back(std::move(m));
            } else if (word == "delay") {
                needRule().delay = std::chrono::milliseconds(parseInteger(rest, 0, INT32_MAX));
            } else if (word == "drop") {
                needRule().dropConnection = true;
            } else if (word == "use") {
                needRule().useDatabase = rest;
            } else {
                throw std::invalid_argument("unknown keyword '" + word + "'");
            }
        } catch (const std::exception &e) {
            throw std::invalid_argument("line " + std::to_string(number) + ": " + e.what());
        }
    }
    flush();
}

} // namespace quorix::tds
