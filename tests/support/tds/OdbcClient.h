#pragma once
// A small ODBC client for the scripted server's own tests and benchmark: one connection, one statement,
// the wide (UTF-16) API throughout, text in and out as UTF-8.

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorix::tds::testing {

struct Diag {
    std::string state;
    long native = 0;
    std::string text;
};

using TextRow = std::vector<std::optional<std::string>>;

// "DRIVER={FreeTDS};SERVER=host;PORT=port;UID=..;PWD=..;TDS_Version=7.4;ClientCharset=UTF-8[;DATABASE=..]"
std::string connectionString(const std::string &host, std::uint16_t port, const std::string &user = "sa",
                             const std::string &password = "pw", const std::string &database = {});

std::vector<SQLWCHAR> wide(const std::string &utf8); // NUL-terminated
std::string narrow(const SQLWCHAR *text, std::size_t units);

class OdbcClient {
public:
    OdbcClient();
    ~OdbcClient();
    OdbcClient(const OdbcClient &) = delete;
    OdbcClient &operator=(const OdbcClient &) = delete;

    SQLRETURN connect(const std::string &connectionString); // SQLDriverConnectW; allocates the statement
    void disconnect();
    SQLRETURN exec(const std::string &sql); // closes any open cursor first
    SQLRETURN prepare(const std::string &sql);
    SQLRETURN execute();
    SQLRETURN moreResults() { return SQLMoreResults(m_stmt); }
    // Every remaining row of the current result set, values read as UTF-16 text (NULL = nullopt).
    std::vector<TextRow> fetchAll();
    SQLLEN rowCount();
    SQLSMALLINT columns();
    std::string columnName(int column);
    // Diagnostic records of the statement, or of the connection when there is no statement.
    std::vector<Diag> diags() const;
    std::vector<Diag> connectionDiags() const;
    std::string currentCatalog();

    SQLHENV env() const { return m_env; }
    SQLHDBC dbc() const { return m_dbc; }
    SQLHSTMT stmt() const { return m_stmt; }

private:
    SQLHENV m_env = SQL_NULL_HENV;
    SQLHDBC m_dbc = SQL_NULL_HDBC;
    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
    bool m_connected = false;
};

// For gtest messages: "[42S02] 208 [FreeTDS][SQL Server]Invalid object name 'x'." per line.
std::string toString(const std::vector<Diag> &diags);

} // namespace quorix::tds::testing
