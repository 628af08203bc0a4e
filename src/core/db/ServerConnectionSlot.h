#pragma once

// Private to ServerConnection and Recordset: the ODBC connection and the worker thread it lives on.

#include "core/db/DbWorker.h"
#include "core/db/ServerConnection.h"
#include "core/db/odbc/OdbcConnection.h"

#include <atomic>

namespace quorix {

struct ServerConnection::Slot {
    odbc::Connection conn; // touched only by jobs on worker, except conn.cancel()
    std::atomic<bool> open{false};
    DbWorker worker; // declared last: destroyed first, after running the closing job

    ~Slot() {
        conn.cancel();
        worker.post([this] { conn.close(); });
    }

    template <class F> auto run(F &&f) {
        return worker.run(std::forward<F>(f), [this] { conn.cancel(); });
    }
};

} // namespace quorix
