#include "core/db/odbc/OdbcHandle.h"

#include <QHash>
#include <mutex>

namespace quorix::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(QChar), "the wide ODBC API must be UTF-16");

std::vector<DiagRecord> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<DiagRecord> out;
    if (handle == SQL_NULL_HANDLE)
        return out;
    std::vector<SQLWCHAR> text(512);
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, i, state, &native, text.data(),
                                      static_cast<SQLSMALLINT>(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
            // The message did not fit: read the same record again with room for all of it.
            text.resize(static_cast<size_t>(length) + 1);
            rc = SQLGetDiagRecW(handleType, handle, i, state, &native, text.data(),
                                static_cast<SQLSMALLINT>(text.size()), &length);
        }
        if (!succeeded(rc))
            break;
        const qsizetype units = std::min<qsizetype>(length, static_cast<qsizetype>(text.size()) - 1);
        out.push_back(DiagRecord{fromWide(state, 5), static_cast<int>(native), fromWide(text.data(), units)});
    }
    return out;
}

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent) : m_type(type) {
    SQLRETURN rc = SQLAllocHandle(type, parent, &m_handle);
    if (!succeeded(rc)) {
        m_handle = SQL_NULL_HANDLE;
        const SQLSMALLINT parentType = type == SQL_HANDLE_STMT  ? SQL_HANDLE_DBC
                                       : type == SQL_HANDLE_DBC ? SQL_HANDLE_ENV
                                                                : 0;
        throw DbError(parentType ? odbc::diagnostics(parentType, parent) : std::vector<DiagRecord>{},
                      QStringLiteral("Could not allocate an ODBC handle."));
    }
}

Handle::Handle(Handle &&other) noexcept : m_type(other.m_type), m_handle(other.m_handle) {
    other.m_handle = SQL_NULL_HANDLE;
}

Handle &Handle::operator=(Handle &&other) noexcept {
    if (this != &other) {
        reset();
        m_type = other.m_type;
        m_handle = other.m_handle;
        other.m_handle = SQL_NULL_HANDLE;
    }
    return *this;
}

void Handle::reset() noexcept {
    if (m_handle != SQL_NULL_HANDLE) {
        SQLFreeHandle(m_type, m_handle);
        m_handle = SQL_NULL_HANDLE;
    }
}

SQLRETURN Handle::check(SQLRETURN rc, const char *call) const {
    if (succeeded(rc) || rc == SQL_NO_DATA)
        return rc;
    throw DbError(diagnostics(), QStringLiteral("%1 failed.").arg(QLatin1String(call)));
}

SQLHENV environment() {
    // Never freed: connections on worker threads may outlive static destruction at exit.
    static const SQLHENV env = [] {
        Handle h(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
        h.check(SQLSetEnvAttr(h.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                "SQLSetEnvAttr");
        SQLHENV raw = h.get();
        new Handle(std::move(h)); // deliberately leaked
        return raw;
    }();
    return env;
}

bool freeTdsDoublesBraces(const QString &driver) {
    static std::mutex mutex;
    static QHash<QString, bool> known;
    std::lock_guard lock(mutex);
    if (auto it = known.constFind(driver); it != known.constEnd())
        return *it;
    QString probe = QStringLiteral("DRIVER={") + driver +
                    QStringLiteral("};SERVER=127.0.0.1;PORT=1;TDS_Version=7.4;UID=x;PWD={a}b};DATABASE=x");
    bool doubles = true;
    try {
        Handle dbc(SQL_HANDLE_DBC, environment());
        SQLSetConnectAttrW(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(2)), 0);
        const SQLRETURN rc =
            SQLDriverConnectW(dbc.get(), nullptr, wide(probe), static_cast<SQLSMALLINT>(probe.size()),
                              nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (succeeded(rc)) {
            SQLDisconnect(dbc.get());
            doubles = false;
        } else {
            const DbError e(dbc.diagnostics());
            doubles = !(e.hasState(QStringLiteral("08001")) || e.hasState(QStringLiteral("08S01")));
        }
    } catch (const DbError &) {
    }
    known.insert(driver, doubles);
    return doubles;
}

QStringList installedDrivers() {
    QStringList names;
    SQLHENV env = environment();
    SQLWCHAR name[512];
    SQLWCHAR attrs[2048];
    SQLSMALLINT nameLen = 0, attrLen = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (succeeded(SQLDriversW(env, direction, name, 512, &nameLen, attrs, 2048, &attrLen))) {
        names << fromWide(name, std::min<SQLSMALLINT>(nameLen, 511));
        direction = SQL_FETCH_NEXT;
    }
    return names;
}

} // namespace quorix::odbc
