#include "core/db/BcpDriver.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

#include <cstring>
#include <string>

namespace quorix {

namespace {

constexpr int kSucceed = 1;     // the bcp functions' SUCCEED
constexpr int kDirectionIn = 1; // DB_IN

// ---- Functions the driver's library exports ----------------------------------------------------------

using InitW = int(SQL_API *)(SQLHDBC, const SQLWCHAR *, const SQLWCHAR *, const SQLWCHAR *, int);
using Control = int(SQL_API *)(SQLHDBC, int, void *);
using Bind = int(SQL_API *)(SQLHDBC, const void *, int, SQLINTEGER, const void *, int, int, int);
using SendRow = int(SQL_API *)(SQLHDBC);
using Batch = SQLINTEGER(SQL_API *)(SQLHDBC);

// The library the driver manager loaded for the driver named file (SQL_DRIVER_NAME: a file name).
void *loadedLibrary(const QString &file) {
#ifdef _WIN32
    return reinterpret_cast<void *>(GetModuleHandleW(reinterpret_cast<LPCWSTR>(file.utf16())));
#else
    struct Search {
        std::string name;
        std::string path;
    } search{file.toStdString(), {}};
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            auto *s = static_cast<Search *>(data);
            const std::string path = info->dlpi_name ? info->dlpi_name : "";
            const size_t slash = path.rfind('/');
            if (path.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, s->name) != 0)
                return 0;
            s->path = path;
            return 1;
        },
        &search);
    // Already loaded: this only finds it, and adds a reference the process keeps.
    return search.path.empty() ? nullptr : dlopen(search.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
#endif
}

void *symbol(void *library, const char *name) {
#ifdef _WIN32
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

class ExportedBcp final : public BcpDriver {
public:
    ExportedBcp(SQLHDBC dbc, void *library) : m_dbc(dbc) {
        m_init = reinterpret_cast<InitW>(symbol(library, "bcp_initW"));
        m_control = reinterpret_cast<Control>(symbol(library, "bcp_control"));
        m_bind = reinterpret_cast<Bind>(symbol(library, "bcp_bind"));
        m_sendRow = reinterpret_cast<SendRow>(symbol(library, "bcp_sendrow"));
        m_batch = reinterpret_cast<Batch>(symbol(library, "bcp_batch"));
        m_done = reinterpret_cast<Batch>(symbol(library, "bcp_done"));
    }
    bool complete() const { return m_init && m_control && m_bind && m_sendRow && m_batch && m_done; }

    bool textIsUtf16() const override { return true; }
    bool init(const QString &table) override {
        return m_init(m_dbc, odbc::wide(table), nullptr, nullptr, kDirectionIn) == kSucceed;
    }
    bool control(int option, void *value) override { return m_control(m_dbc, option, value) == kSucceed; }
    bool bind(const void *data, int prefixLength, int length, int hostType, int column) override {
        return m_bind(m_dbc, data, prefixLength, length, nullptr, 0, hostType, column) == kSucceed;
    }
    bool sendRow() override { return m_sendRow(m_dbc) == kSucceed; }
    int batch() override { return static_cast<int>(m_batch(m_dbc)); }
    int done() override { return static_cast<int>(m_done(m_dbc)); }

private:
    SQLHDBC m_dbc;
    InitW m_init = nullptr;
    Control m_control = nullptr;
    Bind m_bind = nullptr;
    SendRow m_sendRow = nullptr;
    Batch m_batch = nullptr;
    Batch m_done = nullptr;
};

// ---- FreeTDS: the functions as connection attributes ---------------------------------------------------

constexpr SQLINTEGER kImplBase = 1500; // SQL_COPT_TDSODBC_IMPL_BASE
enum : SQLINTEGER {
    kImplControl = kImplBase + 1,
    kImplSendRow = kImplBase + 3,
    kImplBatch = kImplBase + 4,
    kImplDone = kImplBase + 5,
    kImplBind = kImplBase + 6,
    kImplInitW = kImplBase + 7,
};
constexpr SQLUSMALLINT kFreeTdsVersionInfo = 1300; // SQL_INFO_FREETDS_TDS_VERSION: FreeTDS's own

// The arguments of each call, laid out as the driver reads them.
struct InitParams {
    const void *table;
    const void *file;
    const void *errors;
    int direction;
};
struct ControlParams {
    int field;
    void *value;
};
struct RowsParams {
    int rows;
};
struct BindParams {
    const unsigned char *data;
    int prefixLength;
    int length;
    const unsigned char *terminator;
    int terminatorLength;
    int hostType;
    int column;
};

class FreeTdsBcp final : public BcpDriver {
public:
    explicit FreeTdsBcp(SQLHDBC dbc) : m_dbc(dbc) {}

    bool textIsUtf16() const override { return false; } // its wide build reads client text as UTF-8
    bool init(const QString &table) override {
        InitParams p{odbc::wide(table), nullptr, nullptr, kDirectionIn};
        return set(kImplInitW, &p);
    }
    bool control(int option, void *value) override {
        ControlParams p{option, value};
        return set(kImplControl, &p);
    }
    bool bind(const void *data, int prefixLength, int length, int hostType, int column) override {
        BindParams p{
            static_cast<const unsigned char *>(data), prefixLength, length, nullptr, 0, hostType, column};
        return set(kImplBind, &p);
    }
    bool sendRow() override { return set(kImplSendRow, nullptr); }
    int batch() override { return rows(kImplBatch); }
    int done() override { return rows(kImplDone); }

private:
    bool set(SQLINTEGER attribute, void *params) {
        return odbc::succeeded(SQLSetConnectAttr(m_dbc, attribute, params, SQL_IS_POINTER));
    }
    int rows(SQLINTEGER attribute) {
        RowsParams p{-1};
        return set(attribute, &p) ? p.rows : -1;
    }
    SQLHDBC m_dbc;
};

} // namespace

std::unique_ptr<BcpDriver> BcpDriver::find(SQLHDBC dbc) {
    SQLWCHAR name[512] = {};
    SQLSMALLINT bytes = 0;
    if (odbc::succeeded(SQLGetInfoW(dbc, SQL_DRIVER_NAME, name, sizeof name, &bytes)) && bytes > 0) {
        const QString file = odbc::fromWide(name, bytes / static_cast<SQLSMALLINT>(sizeof(SQLWCHAR)));
        if (void *library = loadedLibrary(file)) {
            SQLHDBC driverDbc = dbc;
#ifndef _WIN32
            // Past a driver manager the library wants its own handle of the connection.
            SQLULEN own = 0;
            if (odbc::succeeded(SQLGetInfoW(dbc, SQL_DRIVER_HDBC, &own, sizeof own, nullptr)) && own)
                driverDbc = reinterpret_cast<SQLHDBC>(own);
#endif
            auto exported = std::make_unique<ExportedBcp>(driverDbc, library);
            if (exported->complete())
                return exported;
        }
    }
    char version[64] = {};
    SQLSMALLINT length = 0;
    if (odbc::succeeded(SQLGetInfo(dbc, kFreeTdsVersionInfo, version, sizeof version, &length)))
        return std::make_unique<FreeTdsBcp>(dbc);
    return nullptr;
}

} // namespace quorix
