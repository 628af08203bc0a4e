#include "gui/masking/RecordRangeCopy.h"

#include "core/db/ConnectionString.h"
#include "core/db/Recordset.h"
#include "core/db/ServerSessions.h"
#include "core/db/SqlQuote.h"
#include "core/masking/RecordRangeSql.h"
#include "gui/masking/AddedRecords.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace quorix {

namespace {

constexpr int kMain = 0;
constexpr int kMirror = 1;

} // namespace

RecordRangeCopy::RecordRangeCopy(Form &form, ServerSessions &sessions, const LogPanes &log,
                                 DatabaseLists &lists)
    : m_form(form), m_sessions(sessions), m_log(log), m_lists(lists) {
    Operations::onClick(m_form.cmdCopybyRecID, [this] { cmdCopybyRecID_Click(); });
}

RecordRangeCopy::~RecordRangeCopy() = default;

bool RecordRangeCopy::query(int slot, const QString &sql) {
    return m_sessions.OpenQuery(slot, sql, false).isEmpty();
}

bool RecordRangeCopy::setDefaultDatabase(int slot, const QString &db) {
    const ConnectionTarget target = m_sessions.target(slot);
    if (target.options.windowsAuthentication)
        return true;
    return query(slot,
                 defaultDatabaseStatement(parseOleDbConnectionString(target.connectionString).user, db));
}

void RecordRangeCopy::cmdCopybyRecID_Click() {
    // Without ALL DBS the run ends after its one database, whatever the box shows by then.
    forCurrentOrAllDatabases(m_form, m_sessions, kMain, [this](const QString &db) {
        if (!databaseNamed(db, m_log))
            return WalkOn::Next;
        m_lists.listTables(db);
        copyDatabase(db);
        return WalkOn::Next;
    });
}

void RecordRangeCopy::copyDatabase(const QString &db) {
    // STOP ends only the table loop: Q1 goes out for every database, also with STOP ticked.
    setDefaultDatabase(kMain, db);
    // The tables the listing gave, the count taken once; STOP is looked at before each and stays ticked.
    // A session that lost its link reconnects before the next table: Main is put back in db by the
    // listing's "use", the Mirror by each table's own; a table the drop cut short failed.
    QString table;
    const WalkItems tables{.count = [this] { return m_form.Grid2->rows(); },
                           .reread = false,
                           .take = [this, &table](int row) -> std::optional<QString> {
                               m_form.Grid2->setRow(row);
                               table = m_form.Grid2->textMatrix(row, 0);
                               return table;
                           }};
    runWalk(
        tables,
        [this, &db, &table](int) {
            copyTable(db, table);
            tableCutOff(m_sessions, m_log, {kMain, kMirror}, table);
            return WalkOn::Next;
        },
        {.stopOnStop = true, .untickStop = false, .followAll = false, .stopFirst = true},
        tableWalk(m_form, m_sessions, {kMain, kMirror}, [this, &db](int slot) {
            if (slot == kMain)
                query(kMain, DatabaseLists::tablesUseStatement(db));
        }));
}

void RecordRangeCopy::copyTable(const QString &db, const QString &table) {
    // The table browser carries names, not object ids: the id comes from Main, where the listing made db
    // the current database.
    if (!query(kMain, objectIdQuery(db, table)))
        return;
    const QString objectId = m_sessions.rs().eof() ? QString() : sqlValueText(m_sessions.rs().value(0));
    if (!query(kMain, idnumColumnQuery(objectId)) || m_sessions.rs().eof())
        return; // no idnum column in database 1: passed over without a word
    if (!setDefaultDatabase(kMirror, db) || !query(kMirror, useStatement(db)) ||
        !query(kMirror, mirrorTableQuery(table)))
        return;
    if (m_sessions.rs().eof()) {
        m_log.LogLine(tableNotFoundLine(table));
        return;
    }
    const QString start = m_form.txtStartIDNum->text();
    const QString end = m_form.txtENDIDNum->text();
    const QString sql = rangeQuery(db, table, start, end);
    Recordset range;
    try {
        // Streamed on the Mirror's own connection, while each record is looked up on Main.
        range = m_sessions.connection(kMirror).openRecordset(sql);
    } catch (const DbError &e) {
        m_log.LogLine(e.description() + QLatin1Char(' ') + sql);
        return;
    }
    qint64 added = 0;
    qint64 existing = 0;
    try {
        if (!copyRange(db, table, range, added, existing))
            return;
    } catch (const DbError &e) {
        m_log.LogLine(e.description());
        return;
    }
    m_log.LogLine(recordsAddedLine(table, added, existing));
}

bool RecordRangeCopy::copyRange(const QString &db, const QString &table, Recordset &range, qint64 &added,
                                qint64 &existing) {
    AddedRecords records(m_sessions.connection(kMain), db, table, m_log);
    while (!range.eof()) {
        const QString id = sqlValueText(range.value(QStringLiteral("IDNum")));
        if (!query(kMain, recordQuery(db, table, id)))
            return false;
        if (m_sessions.rs().eof()) {
            ++added;
            records.add(range);
        } else {
            ++existing;
        }
        range.moveNext();
    }
    return true;
}

} // namespace quorix
