#include "tds/OdbcClient.h"

#include "tds/Text.h"

#include <cstring>

namespace quorix::tds::testing {

std::string connectionString(const std::string &host, std::uint16_t port, const std::string &user,
                             const std::string &password, const std::string &database) {
    std::string s = "DRIVER={FreeTDS};SERVER=" + host + ";PORT=" + std::to_string(port) + ";UID=" + user +
                    ";PWD=" + password + ";TDS_Version=7.4;ClientCharset=UTF-8";
    if (!database.empty())
        s += ";DATABASE=" + database;
    return s;
}

std::vector<SQLWCHAR> wide(const std::string &utf8) {
    const Bytes b = utf8ToUtf16(utf8);
    std::vector<SQLWCHAR> out(b.size() / 2 + 1, 0);
    std::memcpy(out.data(), b.data(), b.size());
    return out;
}

std::string narrow(const SQLWCHAR *text, std::size_t units) {
    return utf16ToUtf8(reinterpret_cast<const char *>(text), units * sizeof(SQLWCHAR));
}

namespace {

std::vector<Diag> readDiags(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<Diag> out;
    if (!handle)
        return out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[2048];
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, i, state, &native, text, 2048, &length)))
            break;
        out.push_back(Diag{narrow(state, 5), native, narrow(text, static_cast<std::size_t>(length))});
    }
    return out;
}

} // namespace

OdbcClient::OdbcClient() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
    SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
}

OdbcClient::~OdbcClient() {
    disconnect();
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

SQLRETURN OdbcClient::connect(const std::string &connectionString) {
    std::vector<SQLWCHAR> cs = wide(connectionString);
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc =
        SQLDriverConnectW(m_dbc, nullptr, cs.data(), SQL_NTS, out, 1024, &outLength, SQL_DRIVER_NOPROMPT);
    if (SQL_SUCCEEDED(rc)) {
        m_connected = true;
        SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &m_stmt);
    }
    return rc;
}

void OdbcClient::disconnect() {
    if (m_stmt) {
        SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
        m_stmt = SQL_NULL_HSTMT;
    }
    if (m_connected) {
        SQLDisconnect(m_dbc);
        m_connected = false;
    }
}

SQLRETURN OdbcClient::exec(const std::string &sql) {
    SQLFreeStmt(m_stmt, SQL_CLOSE);
    std::vector<SQLWCHAR> text = wide(sql);
    return SQLExecDirectW(m_stmt, text.data(), SQL_NTS);
}

SQLRETURN OdbcClient::prepare(const std::string &sql) {
    SQLFreeStmt(m_stmt, SQL_CLOSE);
    std::vector<SQLWCHAR> text = wide(sql);
    return SQLPrepareW(m_stmt, text.data(), SQL_NTS);
}

SQLRETURN OdbcClient::execute() {
    return SQLExecute(m_stmt);
}

std::vector<TextRow> OdbcClient::fetchAll() {
    std::vector<TextRow> rows;
    const SQLSMALLINT n = columns();
    std::vector<SQLWCHAR> buffer(4096);
    while (SQL_SUCCEEDED(SQLFetch(m_stmt))) {
        TextRow row;
        for (SQLUSMALLINT c = 1; c <= n; ++c) {
            std::string value;
            bool isNull = false;
            for (;;) {
                SQLLEN indicator = 0;
                const SQLRETURN rc =
                    SQLGetData(m_stmt, c, SQL_C_WCHAR, buffer.data(),
                               static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)), &indicator);
                if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc))
                    break;
                if (indicator == SQL_NULL_DATA) {
                    isNull = true;
                    break;
                }
                std::size_t units = 0;
                while (units < buffer.size() - 1 && buffer[units] != 0)
                    ++units;
                value += narrow(buffer.data(), units);
                if (rc == SQL_SUCCESS)
                    break;
            }
            row.push_back(isNull ? std::nullopt : std::optional<std::string>(value));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

SQLLEN OdbcClient::rowCount() {
    SQLLEN n = -2;
    SQLRowCount(m_stmt, &n);
    return n;
}

SQLSMALLINT OdbcClient::columns() {
    SQLSMALLINT n = 0;
    SQLNumResultCols(m_stmt, &n);
    return n;
}

std::string OdbcClient::columnName(int column) {
    SQLWCHAR name[256];
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeColW(m_stmt, static_cast<SQLUSMALLINT>(column), name, 256, &length, &type, &size, &digits,
                    &nullable);
    return narrow(name, static_cast<std::size_t>(length));
}

std::vector<Diag> OdbcClient::diags() const {
    return m_stmt ? readDiags(SQL_HANDLE_STMT, m_stmt) : readDiags(SQL_HANDLE_DBC, m_dbc);
}

std::vector<Diag> OdbcClient::connectionDiags() const {
    return readDiags(SQL_HANDLE_DBC, m_dbc);
}

std::string OdbcClient::currentCatalog() {
    SQLWCHAR name[256] = {};
    SQLINTEGER length = 0;
    SQLGetConnectAttrW(m_dbc, SQL_ATTR_CURRENT_CATALOG, name, sizeof name, &length);
    return narrow(name, static_cast<std::size_t>(length) / sizeof(SQLWCHAR));
}

std::string toString(const std::vector<Diag> &diags) {
    std::string out;
    for (const Diag &d : diags)
        out += "[" + d.state + "] " + std::to_string(d.native) + " " + d.text + "\n";
    return out;
}

} // namespace quorix::tds::testing
