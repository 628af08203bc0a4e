#pragma once

// Owners of ODBC handles and the reading of diagnostic records. Plain ODBC over the wide (UTF-16) API; no
// threads here: a handle is used by one thread at a time, except SQLCancel (see Connection).

#include "core/db/DbError.h"

#include <QString>
#include <QStringList>
#ifdef _WIN32
#include <windows.h> // the Windows ODBC headers use its types without including it
#endif
#include <sql.h>
#include <sqlext.h>
#include <utility>
#include <vector>

namespace quorix::odbc {

// Every diagnostic record of a handle, in order.
std::vector<DiagRecord> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

inline bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// A move-only owner of one ODBC handle; the destructor frees it and never throws.
class Handle {
public:
    Handle() = default;
    Handle(SQLSMALLINT type, SQLHANDLE parent); // allocates; throws DbError
    Handle(Handle &&other) noexcept;
    Handle &operator=(Handle &&other) noexcept;
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() { reset(); }

    SQLHANDLE get() const { return m_handle; }
    SQLSMALLINT type() const { return m_type; }
    explicit operator bool() const { return m_handle != SQL_NULL_HANDLE; }
    void reset() noexcept;
    // Gives the handle up without freeing it (its owner already freed it, as SQLDisconnect frees statements).
    SQLHANDLE release() noexcept { return std::exchange(m_handle, SQLHANDLE{}); }

    std::vector<DiagRecord> diagnostics() const { return odbc::diagnostics(m_type, m_handle); }
    // Throws DbError with the handle's records when rc is a failure; returns rc otherwise.
    SQLRETURN check(SQLRETURN rc, const char *call) const;

private:
    SQLSMALLINT m_type = 0;
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

// The process's one ODBC environment (ODBC 3 behaviour), created on first use.
SQLHENV environment();

// Names of the ODBC drivers the driver manager knows.
QStringList installedDrivers();

// Whether the FreeTDS driver named driver reads "}}" in a braced connection-string value as one '}' (the
// ODBC rule, FreeTDS 1.4 on) or takes the value as written up to the first "};" (earlier releases). Found
// once per driver: only the newer parser rejects "{a}b}" before connecting; the older one tries to connect
// (to a loopback port that refuses at once).
bool freeTdsDoublesBraces(const QString &driver);

// SQLWCHAR text of a QString (both UTF-16) and back.
inline SQLWCHAR *wide(const QString &s) {
    return reinterpret_cast<SQLWCHAR *>(const_cast<QChar *>(s.constData()));
}
inline QString fromWide(const SQLWCHAR *s, qsizetype units) {
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(s), units);
}

} // namespace quorix::odbc
