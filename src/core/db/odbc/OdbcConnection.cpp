#include "core/db/odbc/OdbcConnection.h"

#include "core/db/odbc/OdbcValue.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace quorix::odbc {

namespace {

void append(std::vector<DiagRecord> &to, std::vector<DiagRecord> &&from) {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

// The records of the call that returned rc. After SQL_SUCCESS there are none, so they are not asked for:
// that would cost a driver call per statement.
std::vector<DiagRecord> recordsOf(const Handle &stmt, SQLRETURN rc) {
    return rc == SQL_SUCCESS ? std::vector<DiagRecord>{} : stmt.diagnostics();
}

// After such a failure the driver has given up on the statement's results (lost connection, cancel,
// timeout, driver fault): asking for further results would only repeat it.
bool endsResults(const std::vector<DiagRecord> &records) {
    for (const DiagRecord &r : records) {
        const QString &s = r.state;
        if (s.startsWith(QLatin1String("08")) || s.startsWith(QLatin1String("IM")) ||
            s == QLatin1String("HY000") || s == QLatin1String("HY001") || s == QLatin1String("HY008") ||
            s == QLatin1String("HY010") || s == QLatin1String("HYT00"))
            return true;
    }
    return false;
}

} // namespace

bool driverWouldRewrite(const QString &sql) {
    const QChar *p = sql.constData();
    const QChar *end = p + sql.size();
    while (p < end) {
        const char16_t c = p->unicode();
        if (c == u'?' || c == u'{')
            return true;
        if (c == u'\'' || c == u'"' || c == u'[') { // quoted: a doubled closing character stays inside
            const char16_t close = c == u'[' ? u']' : c;
            for (++p; p < end; ++p)
                if (p->unicode() == close && (++p == end || p->unicode() != close))
                    break;
            continue;
        }
        if (c == u'-' && p + 1 < end && p[1].unicode() == u'-') {
            while (p < end && p->unicode() != u'\n')
                ++p;
            continue;
        }
        if (c == u'/' && p + 1 < end && p[1].unicode() == u'*') {
            for (p += 2; p < end; ++p)
                if (p->unicode() == u'*' && p + 1 < end && p[1].unicode() == u'/') {
                    p += 2;
                    break;
                }
            continue;
        }
        ++p;
    }
    return false;
}

// ---- Connection ----

void Connection::open(const QString &odbcConnectionString, int loginTimeoutSeconds) {
    if (m_open)
        throw DbError::ofText(QStringLiteral("08002"), 3705, QLatin1String(dbtext::objectOpen));
    Handle dbc(SQL_HANDLE_DBC, environment());
    SQLSetConnectAttrW(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
    if (m_bulkCopy) // SQL_COPT_SS_BCP = SQL_BCP_ON; a driver without bulk copy ignores or refuses it
        SQLSetConnectAttrW(dbc.get(), 1219, reinterpret_cast<SQLPOINTER>(SQLULEN{1}), SQL_IS_UINTEGER);
    SQLWCHAR out[1024];
    SQLSMALLINT outLen = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, wide(odbcConnectionString),
                                           static_cast<SQLSMALLINT>(odbcConnectionString.size()), out, 1024,
                                           &outLen, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc))
        throw DbError(dbc.diagnostics(), QStringLiteral("The connection could not be opened."));
    m_dbc = std::move(dbc);
    m_open = true;
}

void Connection::close() noexcept {
    if (auto pending = m_pending.lock())
        pending->close();
    m_pending.reset();
    m_exec.reset();
    m_execTimeout = -1;
    if (m_open)
        SQLDisconnect(m_dbc.get());
    m_dbc.reset();
    m_open = false;
    ++m_session;
}

void Connection::requireOpen() const {
    if (!m_open)
        throw closedObjectError();
}

void Connection::makeIdle() {
    if (auto pending = m_pending.lock())
        if (pending->live())
            pending->spill();
    m_pending.reset();
}

Handle Connection::newStatement(int queryTimeoutSeconds) const {
    Handle stmt(SQL_HANDLE_STMT, m_dbc.get());
    // The text goes to the server exactly as written: the driver must not rewrite {fn ...} or {call ...}.
    stmt.check(SQLSetStmtAttrW(stmt.get(), SQL_ATTR_NOSCAN, reinterpret_cast<SQLPOINTER>(SQL_NOSCAN_ON), 0),
               "SQLSetStmtAttr");
    stmt.check(SQLSetStmtAttrW(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                               reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeoutSeconds)), 0),
               "SQLSetStmtAttr");
    return stmt;
}

SQLRETURN Connection::execDirect(const Handle &stmt, const QString &sql) {
    if (!driverWouldRewrite(sql))
        return running(stmt.get(), [&] {
            return SQLExecDirectW(stmt.get(), wide(sql), static_cast<SQLINTEGER>(sql.size()));
        });
    static const QString call = QStringLiteral("{call sp_executesql(?)}");
    SQLLEN bytes = static_cast<SQLLEN>(sql.size()) * 2;
    stmt.check(SQLBindParameter(stmt.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR,
                                static_cast<SQLULEN>(std::max<qsizetype>(sql.size(), 1)), 0, wide(sql), bytes,
                                &bytes),
               "SQLBindParameter");
    const SQLRETURN rc = running(stmt.get(), [&] {
        return SQLExecDirectW(stmt.get(), wide(call), static_cast<SQLINTEGER>(call.size()));
    });
    SQLFreeStmt(stmt.get(), SQL_RESET_PARAMS); // the bound text and its length live only until here
    return rc;
}

bool Connection::cancel() noexcept {
    std::lock_guard lock(m_runMutex);
    if (m_running == SQL_NULL_HSTMT)
        return false;
    SQLCancel(m_running);
    return true;
}

bool Connection::dead() const noexcept {
    if (!m_open)
        return false;
    SQLUINTEGER state = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttr(m_dbc.get(), SQL_ATTR_CONNECTION_DEAD, &state, 0, nullptr);
    return SQL_SUCCEEDED(rc) && state == SQL_CD_TRUE;
}

QString Connection::currentCatalog() const noexcept {
    if (!m_open)
        return {};
    // The driver keeps the database the server last named (a USE, the login's default): no round trip.
    SQLWCHAR name[260] = {};
    SQLINTEGER length = 0;
    const SQLRETURN rc = SQLGetConnectAttrW(m_dbc.get(), SQL_ATTR_CURRENT_CATALOG, name,
                                            sizeof(name) - sizeof(SQLWCHAR), &length);
    if (!SQL_SUCCEEDED(rc))
        return {};
    // Drivers differ in whether they count the length in bytes or characters; the text ends with a zero.
    qsizetype units = 0;
    while (units < static_cast<qsizetype>(std::size(name)) - 1 && name[units] != 0)
        ++units;
    return fromWide(name, units);
}

namespace {

// Adds the rows the result of stmt affected to total, when the driver reports any.
void addRowCount(SQLHSTMT stmt, qint64 &total) {
    SQLLEN count = -1;
    if (SQL_SUCCEEDED(SQLRowCount(stmt, &count)) && count >= 0)
        total = (total < 0 ? 0 : total) + static_cast<qint64>(count);
}

} // namespace

void Connection::drain(const Handle &stmt, std::vector<DiagRecord> &records, bool &failed, qint64 *rows) {
    for (;;) {
        const SQLRETURN rc = running(stmt.get(), [&] { return SQLMoreResults(stmt.get()); });
        if (rc == SQL_NO_DATA)
            break;
        std::vector<DiagRecord> now = recordsOf(stmt, rc);
        // Only after its records are read: any other call on the statement clears them.
        if (rows && succeeded(rc))
            addRowCount(stmt.get(), *rows);
        const bool stop = rc == SQL_ERROR && (now.empty() || endsResults(now));
        if (rc == SQL_ERROR)
            failed = true;
        append(records, std::move(now));
        if (stop || (!succeeded(rc) && rc != SQL_ERROR))
            break;
    }
}

std::vector<DiagRecord> Connection::execute(const QString &sql, int queryTimeoutSeconds) {
    requireOpen();
    makeIdle();
    if (!m_exec || m_execTimeout != queryTimeoutSeconds) {
        m_exec.reset();
        m_exec = newStatement(queryTimeoutSeconds);
        m_execTimeout = queryTimeoutSeconds;
    }
    std::vector<DiagRecord> records;
    m_rowCount = -1;
    const SQLRETURN rc = execDirect(m_exec, sql);
    append(records, recordsOf(m_exec, rc));
    bool failed = rc == SQL_ERROR || rc == SQL_INVALID_HANDLE;
    if (succeeded(rc))
        addRowCount(m_exec.get(), m_rowCount);
    if (!failed)
        drain(m_exec, records, failed, &m_rowCount);
    SQLFreeStmt(m_exec.get(), SQL_CLOSE);
    if (failed)
        throw DbError(std::move(records), QStringLiteral("The statement failed."));
    return records;
}

std::shared_ptr<Cursor> Connection::openCursor(const QString &sql, int queryTimeoutSeconds) {
    requireOpen();
    makeIdle();
    std::shared_ptr<Cursor> cursor(new Cursor);
    cursor->m_conn = this;
    cursor->m_stmt = newStatement(queryTimeoutSeconds);
    const Handle &stmt = cursor->m_stmt;
    SQLRETURN rc = execDirect(stmt, sql);
    std::vector<DiagRecord> records = recordsOf(stmt, rc);
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE)
        throw DbError(std::move(records), QStringLiteral("The query failed."));
    m_pending = cursor;
    // Row counts and messages ahead of the first result with columns are passed over.
    for (;;) {
        if (rc != SQL_NO_DATA) {
            cursor->m_columns = describeColumns(stmt);
            if (!cursor->m_columns.empty())
                break;
        }
        rc = running(stmt.get(), [&] { return SQLMoreResults(stmt.get()); });
        if (rc == SQL_NO_DATA)
            break;
        append(records, recordsOf(stmt, rc));
        if (rc == SQL_ERROR) {
            cursor->close();
            throw DbError(std::move(records), QStringLiteral("The query failed."));
        }
    }
    cursor->m_messages = std::move(records);
    if (cursor->m_columns.empty())
        cursor->finish();
    return cursor;
}

// ---- Cursor ----

Row Cursor::readRow() {
    Row row;
    row.reserve(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i)
        row.push_back(readValue(m_stmt, static_cast<SQLUSMALLINT>(i + 1), m_columns[i], m_buffer));
    return row;
}

std::vector<Row> Cursor::fetch(size_t maxRows) {
    if (m_closed)
        throw closedObjectError();
    std::vector<Row> rows;
    while (rows.size() < maxRows && !m_spilled.empty()) {
        rows.push_back(std::move(m_spilled.front()));
        m_spilled.pop_front();
    }
    while (rows.size() < maxRows) {
        std::optional<Row> row = next();
        if (!row)
            break;
        rows.push_back(std::move(*row));
    }
    return rows;
}

std::optional<Row> Cursor::next() {
    if (!live())
        return std::nullopt;
    const SQLRETURN rc = m_conn->running(m_stmt.get(), [&] { return SQLFetch(m_stmt.get()); });
    if (rc == SQL_NO_DATA) {
        finish();
        return std::nullopt;
    }
    if (rc == SQL_SUCCESS_WITH_INFO)
        append(m_messages, m_stmt.diagnostics());
    m_stmt.check(rc, "SQLFetch");
    return readRow();
}

void Cursor::spill() {
    while (std::optional<Row> row = next())
        m_spilled.push_back(std::move(*row));
}

void Cursor::finish() noexcept {
    m_end = true;
    if (!live())
        return;
    if (m_conn) {
        try {
            m_conn->drain(m_stmt, m_messages, m_failed);
        } catch (...) { // out of memory while keeping the records: the batch's outcome is unknown
            m_failed = true;
        }
    }
    SQLFreeStmt(m_stmt.get(), SQL_CLOSE);
    m_stmt.reset();
}

std::optional<DbError> Cursor::failure() const {
    if (!m_failed)
        return std::nullopt;
    return DbError(m_messages, QStringLiteral("The query failed."));
}

void Cursor::close() noexcept {
    if (live()) {
        SQLFreeStmt(m_stmt.get(), SQL_CLOSE);
        m_stmt.reset();
    }
    m_spilled.clear();
    m_end = true;
    m_closed = true;
    m_conn = nullptr;
}

} // namespace quorix::odbc
