#pragma once
// The pieces of statement text and of values that the table model's files share (TableModel.cpp: the tables,
// the cursor and the one-row forms; TableBlocks.cpp: the forms that carry blocks of rows; TableOrder.cpp:
// the order of rows and the conditions of keyed reads).

#include "tds/TableModel.h"

#include <regex>

namespace quorix::tds::modeltext {

std::string lower(std::string s);
// The parts of a dotted name without their brackets or quotes.
std::vector<std::string> nameParts(const std::string &name);
// The key of a table in the model: lower-case "db.table".
std::string key(const std::string &database, const std::string &table);
// Where statement text stands, character by character: inside a quote ('...', "...", [...]) or not, and
// how deep in parentheses.
struct TextScan {
    char quote = 0;
    int depth = 0;
    // Takes the next character; true when it stands outside every quote (parentheses are counted then).
    bool take(char c);
};
// Items of a comma-separated list, outside quotes, brackets and parentheses, trimmed.
std::vector<std::string> splitList(const std::string &text);

// Regular-expression pieces: one part of a name, a dotted name (captured), a cursor's name (captured).
extern const std::string kPart;
extern const std::string kName;
extern const std::string kCursor;
std::regex re(const std::string &pattern); // ECMAScript, ignoring case

// An error that ends the statement, followed by 3621 as the server sends it.
Reply failure(int number, const std::string &text);
Reply invalidObject(const std::string &name);

// The value as the column holds it; throws std::invalid_argument when it does not fit.
Value normalized(const Column &column, const Value &value);

struct Literal {
    bool ok = true;
    Value value;
    bool untypedText = false; // a parameter declared as text, not cast to another type in the statement
};
// @P1 (the RPC's parameters in order), @name, NULL, 'text', N'text' or a plain number.
Literal literal(const std::string &item, const ConnectionState &state);

// The column's index by its name as written (brackets allowed, a qualifier ignored); -1 when there is none.
int columnIndex(const TableModel::Table &t, const std::string &name);
// The next rowversion value of the table, as text.
std::string rowversion(TableModel::Table &t);
// Assigns value to column i of row; an error reply when the column refuses it.
std::optional<Reply> assign(TableModel::Table &t, Row &row, int i, const Value &value);
// The refusal of a column that nobody writes (computed, rowversion), if it is one.
std::optional<Reply> writable(const Column &c);
ResultSet single(const std::string &column, const std::string &type, const Value &value);

// @P<n> read without a regular expression (a block holds thousands), "CAST(<item> AS <type>)" as its item
// (typed), anything else as literal() reads it.
Literal valueOf(const std::string &item, const ConnectionState &state);
// The refusal of a text parameter's value going into a datetimeoffset column without a CAST. SQL Server
// converts it; a T-SQL engine that checks types the standard way does not ("column is of type
// datetimeoffset but expression is of type varchar"), and a statement meant for both writes the CAST.
std::optional<Reply> implicitConversionRefused(const Column &c, const Literal &value);

// TableOrder.cpp: the order of two values of the column (-1, 0, 1): numbers by value, text ignoring case and
// trailing blanks, the rest by its text; NULL before everything.
int compare(const Column &c, const Value &a, const Value &b);
int compareRows(const TableModel::Table &t, const std::vector<int> &columns, const Row &a, const Row &b);
// The rows' indexes in the order of columns, kept with the table until a change may move a row.
const std::vector<std::size_t> &orderOf(TableModel::Table &t, const std::vector<int> &columns);

// A condition of a keyed read: comparisons of a column with a value, joined by AND and OR.
struct Condition {
    enum class Kind { Compare, And, Or } kind = Kind::Compare;
    int column = -1;
    std::string op; // as if the column stood on the left
    Value value;
    std::vector<Condition> parts;

    bool holds(const TableModel::Table &t, const Row &row) const;
};
// Thrown by parseCondition: the server's refusal of the text.
struct ConditionError {
    Reply reply;
};
Condition parseCondition(const std::string &text, const TableModel::Table &t, const ConnectionState &state);

} // namespace quorix::tds::modeltext
