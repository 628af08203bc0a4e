#include "core/db/ServerConnection.h"

#include "core/db/ConnectionString.h"
#include "core/db/Recordset.h"
#include "core/db/ScriptOnly.h"
#include "core/db/ServerConnectionSlot.h"
#include "core/db/StatementJournal.h"
#include "core/db/secure/SecureOpen.h"

#include <QElapsedTimer>
#include <QtGlobal>

namespace quorix {

namespace {

// Looked up once: asking the driver manager for its drivers reads its configuration files.
const QStringList &drivers() {
    static const QStringList installed = odbc::installedDrivers();
    return installed;
}

} // namespace

OdbcDriver connectionDriver() {
    return chooseDriver(drivers(), qEnvironmentVariable("QUORIX_ODBC_DRIVER"));
}

ServerConnection::ServerConnection() : m_slot(std::make_shared<Slot>()) {}

ServerConnection::~ServerConnection() = default;

void ServerConnection::open(const ConnectionTarget &target) {
    m_target = target;
    m_encrypted = false;
    m_notice.clear();
    m_refusedCertificate.reset();
    Slot *slot = m_slot.get(); // jobs never own the slot: its last owner must not be the worker itself
    const int loginTimeout = m_loginTimeout;
    const bool bulkCopy = m_bulkCopy;
    const SecureOpen result = slot->run([slot, target, loginTimeout, bulkCopy] {
        slot->conn.setBulkCopy(bulkCopy);
        OdbcDriver driver = connectionDriver();
        const OleDbParts parts = parseOleDbConnectionString(target.connectionString);
        // Every value the driver reads follows its brace rule, so any '}' asks which rule that is.
        const QString driverRead = parts.server + parts.user + parts.password + parts.database +
                                   target.options.trustedCertificate + target.options.workstation;
        if (driver.kind == DriverKind::FreeTds && driverRead.contains(QLatin1Char('}')))
            driver.doublesBraces = odbc::freeTdsDoublesBraces(driver.name);
        return openSecurely(slot->conn, parts, driver, target.options, loginTimeout);
    });
    m_encrypted = result.encrypted;
    m_notice = result.notice;
    m_refusedCertificate = result.refusedCertificate;
    if (result.error)
        throw *result.error;
    slot->open = true;
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
    const QString named = scriptOnly().serverNamed(m_target.connectionString);
    return named.isEmpty() ? parseOleDbConnectionString(m_target.connectionString).server : named;
}

bool ServerConnection::sends(const QString &sql) const {
    return !scriptOnly().active() || scriptOnly().sends(serverName(), sql);
}

std::shared_ptr<CollectedStatement> ServerConnection::collects(const QString &sql,
                                                               const QStringList &types) const {
    return scriptOnly().active() ? scriptOnly().collectPrepared(serverName(), sql, types) : nullptr;
}

SentStatement ServerConnection::journalRecord(const QString &sql) const {
    SentStatement s;
    s.time = QDateTime::currentDateTimeUtc();
    s.session = serverName();
    s.connectionString = m_target.connectionString;
    s.windowsAuthentication = m_target.options.windowsAuthentication;
    s.sql = sql;
    return s;
}

QString ServerConnection::currentDatabase() {
    if (!isOpen())
        return {};
    Slot *slot = m_slot.get();
    return slot->run([slot] { return slot->conn.currentCatalog(); });
}

std::vector<DiagRecord> ServerConnection::execute(const QString &sql) {
    const bool journaled = m_journal && classifySql(sql) != SqlKind::Read;
    if (!sends(sql)) {
        if (journaled) {
            SentStatement s = journalRecord(sql);
            s.result = SentStatement::Result::NotSent;
            s.database = currentDatabase();
            m_journal->record(s);
        }
        return {};
    }
    const int timeout = m_commandTimeout;
    Slot *slot = m_slot.get();
    if (!journaled)
        return slot->run([slot, &sql, timeout] { return slot->conn.execute(sql, timeout); });
    SentStatement s = journalRecord(sql);
    QElapsedTimer took;
    took.start();
    try {
        std::vector<DiagRecord> messages = slot->run([slot, &sql, timeout, &s] {
            try {
                std::vector<DiagRecord> m = slot->conn.execute(sql, timeout);
                s.rows = slot->conn.lastRowCount();
                s.database = slot->conn.currentCatalog();
                return m;
            } catch (const DbError &) {
                s.database = slot->conn.currentCatalog();
                throw;
            }
        });
        s.milliseconds = took.elapsed();
        m_journal->record(s);
        return messages;
    } catch (const DbError &e) {
        s.milliseconds = took.elapsed();
        s.failedWith(e);
        m_journal->record(s);
        throw;
    }
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
