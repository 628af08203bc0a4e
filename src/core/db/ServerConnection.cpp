#include "core/db/ServerConnection.h"

#include "core/db/ConnectionString.h"
#include "core/db/Recordset.h"
#include "core/db/ScriptOnly.h"
#include "core/db/ServerConnectionSlot.h"

#include <QtGlobal>

namespace quorix {

namespace {

// Looked up once: asking the driver manager for its drivers reads its configuration files.
const QStringList &drivers() {
    static const QStringList installed = odbc::installedDrivers();
    return installed;
}

} // namespace

ServerConnection::ServerConnection() : m_slot(std::make_shared<Slot>()) {}

ServerConnection::~ServerConnection() = default;

void ServerConnection::open(const QString &connectionString) {
    m_connectionString = connectionString;
    Slot *slot = m_slot.get(); // jobs never own the slot: its last owner must not be the worker itself
    const int loginTimeout = m_loginTimeout;
    slot->run([slot, connectionString, loginTimeout] {
        OdbcDriver driver = chooseDriver(drivers(), qEnvironmentVariable("QUORIX_ODBC_DRIVER"));
        const OleDbParts parts = parseOleDbConnectionString(connectionString);
        // Every value the driver reads follows its brace rule, so any '}' asks which rule that is.
        const QString driverRead = parts.server + parts.user + parts.password + parts.database;
        if (driver.kind == DriverKind::FreeTds && driverRead.contains(QLatin1Char('}')))
            driver.doublesBraces = odbc::freeTdsDoublesBraces(driver.name);
        const QString odbcString = toOdbcConnectionString(parts, driver);
        slot->conn.open(odbcString, loginTimeout);
        slot->open = true;
    });
}

void ServerConnection::close() noexcept {
    try {
        Slot *slot = m_slot.get();
        slot->run([slot] {
            slot->conn.close();
            slot->open = false;
        });
    } catch (...) {
    }
}

bool ServerConnection::isOpen() const {
    return m_slot->open;
}

QString ServerConnection::serverName() const {
    if (!m_serverName.isEmpty())
        return m_serverName;
    const QString named = scriptOnly().serverNamed(m_connectionString);
    return named.isEmpty() ? parseOleDbConnectionString(m_connectionString).server : named;
}

bool ServerConnection::sends(const QString &sql) const {
    return !scriptOnly().active() || scriptOnly().sends(serverName(), sql);
}

std::shared_ptr<CollectedStatement> ServerConnection::collects(const QString &sql,
                                                               const QStringList &types) const {
    return scriptOnly().active() ? scriptOnly().collectPrepared(serverName(), sql, types) : nullptr;
}

std::vector<DiagRecord> ServerConnection::execute(const QString &sql) {
    if (!sends(sql))
        return {};
    const int timeout = m_commandTimeout;
    Slot *slot = m_slot.get();
    return slot->run([slot, &sql, timeout] { return slot->conn.execute(sql, timeout); });
}

Recordset ServerConnection::openRecordset(const QString &sql) {
    Recordset rs;
    rs.open(*this, sql, Recordset::Reading::Streamed);
    return rs;
}

bool ServerConnection::linkLost() {
    Slot *slot = m_slot.get();
    return slot->run([slot] { return slot->conn.dead(); });
}

bool ServerConnection::cancel() noexcept {
    return m_slot->conn.cancel();
}

} // namespace quorix
