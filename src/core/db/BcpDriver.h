#pragma once

// The ODBC driver's bulk-copy functions (bcp_init, bcp_control, bcp_bind, bcp_sendrow, bcp_batch,
// bcp_done), found at run time on the driver a connection uses, so that the tool links against no driver
// and needs none of their headers. A driver offers them in one of two ways:
//   - exported from its library (Microsoft's drivers: bcp_initW and the rest), found with GetProcAddress /
//     dlsym in the library the driver manager loaded. They take the driver's own connection handle, which
//     a driver manager in between hands out as SQL_DRIVER_HDBC.
//   - FreeTDS's driver exports none: each function is a connection attribute of its own (1500 and up, as
//     its odbcss.h defines them) whose value points at the call's arguments, set with SQLSetConnectAttr,
//     which the driver manager passes on to the driver unchanged.
// Every call on the thread that uses the connection. A call that fails leaves its reasons in the
// connection's diagnostic records.

#include "core/db/odbc/OdbcHandle.h"

#include <QString>
#include <memory>

namespace quorix {

class BcpDriver {
public:
    // The host types a value is bound as (the drivers' SQLINT8, SQLFLT8, ... codes).
    enum HostType {
        kText = 0x2F,      // SQLCHARACTER: UTF-8 text (FreeTDS) or the client's code page (see textIsUtf16)
        kWideText = 0xE7,  // SQLNVARCHAR on Microsoft's drivers: UTF-16
        kInt8 = 0x7F,      // SQLINT8: a 64-bit integer
        kFloat8 = 0x3E,    // SQLFLT8: a double
        kVarBinary = 0x25, // SQLVARBINARY
    };
    static constexpr int kVarLenData = -10; // SQL_VARLEN_DATA: the length comes from the prefix
    static constexpr int kKeepIdentity = 8; // BCPKEEPIDENTITY

    // The functions of the driver behind dbc (a connection opened with bulkCopyAttribute on), or nullptr
    // when it offers none.
    static std::unique_ptr<BcpDriver> find(SQLHDBC dbc);
    // The connection attribute that makes a connection fit for bulk copy, set before it connects
    // (SQL_COPT_SS_BCP = SQL_BCP_ON).
    static constexpr SQLINTEGER kBulkCopyAttribute = 1219;

    virtual ~BcpDriver() = default;
    // Text goes as UTF-16 (kWideText) rather than as UTF-8 (kText).
    virtual bool textIsUtf16() const = 0;

    // Each true on success.
    virtual bool init(const QString &table) = 0; // for loading into table (as a statement names it)
    virtual bool control(int option, void *value) = 0;
    // data: the column's buffer, prefixLength bytes of length (-1 for NULL) before its bytes; column from 1.
    virtual bool bind(const void *data, int prefixLength, int length, int hostType, int column) = 0;
    virtual bool sendRow() = 0;
    // The rows the server stored since the last batch, or -1 when it refused them.
    virtual int batch() = 0;
    virtual int done() = 0; // the same for the rows since the last batch; ends the load
};

} // namespace quorix
