#include "gui/masking/Anonymizer.h"

#include "core/db/ConnectionString.h"
#include "core/db/DbError.h"
#include "core/db/ServerSessions.h"
#include "core/db/UpdatableCursor.h"
#include "core/masking/NameBlocks.h"
#include "core/masking/ProductionGuard.h"
#include "gui/ui/BoxText.h"
#include "gui/ui/DatabaseLists.h"
#include "gui/ui/DatabaseWalk.h"
#include "gui/ui/Form.h"
#include "gui/ui/Hourglass.h"
#include "gui/ui/LogPanes.h"
#include "gui/ui/Operations.h"
#include "gui/ui/Prompt.h"
#include "gui/ui/widgets/Grid.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <chrono>
#include <optional>

namespace quorix {

namespace {

constexpr int kMirror = 1;
constexpr int kSurnameColumn = 1;

DbError failure(const QString &description) {
    return DbError::ofText(QStringLiteral("HY000"), 0, description);
}

} // namespace

Anonymizer::Anonymizer(Form &form, ServerSessions &sessions, const LogPanes &log)
    : m_form(form), m_sessions(sessions), m_log(log) {
    Operations::onClick(m_form.cmdAnonymize, [this] { cmdAnonymize_Click(); });
}

Anonymizer::~Anonymizer() = default;

bool Anonymizer::goOnAfter(const DbError &e) {
    // The pointer stays normal for the rest of a run that goes on.
    if (m_hourglass)
        m_hourglass->restore();
    return Prompt::askYesNo(e.description() + QStringLiteral("Continue?"));
}

template <class Step> Anonymizer::Attempt Anonymizer::attempt(Step &&step) {
    try {
        step();
        return Attempt::Done;
    } catch (const DbError &e) {
        return goOnAfter(e) ? Attempt::Failed : Attempt::Ended;
    }
}

void Anonymizer::cmdAnonymize_Click() {
    run();
    m_hourglass.reset();
}

void Anonymizer::run() {
    // The password is not shown: the box may be read over the user's shoulder or in a screenshot.
    if (!Prompt::askYesNo(anonymizeConfirmation(m_sessions.connection(kMirror).connectionString())))
        return;
    if (!fillLists() || !fillGrid())
        return;
    NameDraw draw(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    m_form.chkStop->setChecked(false);
    m_hourglass = std::make_unique<Hourglass>();
    // The rows that name a table, taken once: the grid is not touched while the run goes, and each table
    // takes its name and columns at its start. STOP is read within each table. A table named without its
    // database is in the one the Mirror's session is in as the run starts: a session that lost its link is
    // reconnected before the next table and put back there, and a table the drop cut short failed.
    const QString database = m_sessions.connection(kMirror).currentDatabase();
    std::vector<int> named;
    QStringList names;
    for (int row = 0; row < m_form.GridA->rows(); ++row)
        if (!m_form.GridA->textMatrix(row, 0).isEmpty()) {
            named.push_back(row);
            names << m_form.GridA->textMatrix(row, 0);
        }
    m_startedAsTestRun = m_form.chkTestRun->isChecked();
    if (writesIntoProduction(names)) {
        m_hourglass.reset();
        return;
    }
    const WalkItems tables{.count = [&named] { return static_cast<int>(named.size()); },
                           .reread = false,
                           .take = [this, &named](int i) -> std::optional<QString> {
                               return m_form.GridA->textMatrix(named[static_cast<size_t>(i)], 0);
                           }};
    Pass last = Pass::Next;
    runWalk(
        tables,
        [&](int i) {
            const int row = named[static_cast<size_t>(i)];
            last = anonymizeTable(row, draw);
            tableCutOff(m_sessions, m_log, {kMirror}, m_form.GridA->textMatrix(row, 0));
            return last == Pass::Next ? WalkOn::Next : WalkOn::End;
        },
        {.stopOnStop = false, .untickStop = false, .followAll = false},
        tableWalk(m_form, m_sessions, {kMirror}, [this, &database](int) {
            if (!database.isEmpty())
                m_sessions.OpenQuery(kMirror, DatabaseLists::tablesUseStatement(database), false);
        }));
    m_hourglass.reset();
    if (last != Pass::Ended)
        Prompt::msgBox(QStringLiteral("done."));
}

bool Anonymizer::testRun() const {
    return m_startedAsTestRun || m_form.chkTestRun->isChecked();
}

bool Anonymizer::writesIntoProduction(const QStringList &tables) {
    if (m_startedAsTestRun) // a test run writes nothing
        return false;
    const QString server = parseOleDbConnectionString(m_sessions.connectionString(kMirror)).server;
    for (const QString &db : databasesOf(tables)) {
        QString refusal;
        if (const QString failed = m_sessions.OpenQuery(kMirror, mirroringRoleStatement(db), false);
            !failed.isEmpty()) {
            // Not known to be safe is not safe.
            refusal =
                QStringLiteral("The mirroring role of %1 on %2 could not be read; nothing was anonymized.")
                    .arg(db.isEmpty() ? QStringLiteral("the current database") : db, server);
        } else {
            try {
                Recordset &rs = m_sessions.rs();
                if (rs.isOpen() && !rs.eof() && rs.value(0).toString() == QLatin1String("PRINCIPAL"))
                    refusal = principalRefusal(db, server);
            } catch (const DbError &e) {
                refusal = e.description();
            }
            m_sessions.rs().close();
        }
        if (!refusal.isEmpty()) {
            m_log.LogLine(refusal);
            Prompt::msgBox(refusal);
            return true;
        }
    }
    return false;
}

bool Anonymizer::fillLists() {
    m_form.lstLast->clear();
    m_form.lstFirst->clear();
    m_last = nameEntries(boxText(m_form.txtLastNames));
    m_first = nameEntries(boxText(m_form.txtFirstnames));
    m_form.lstLast->addItems(m_last);
    m_form.lstFirst->addItems(m_first);
    // Such a list's columns keep their names: there is nothing to draw from.
    if (m_last.isEmpty() && !goOnAfter(failure(QStringLiteral("The surname list is empty."))))
        return false;
    return !m_first.isEmpty() || goOnAfter(failure(QStringLiteral("The given-name list is empty.")));
}

bool Anonymizer::fillGrid() {
    Grid *grid = m_form.GridA;
    grid->setRows(0);
    grid->setCols(kWorkListColumns);
    grid->setColWidthTwips(0, 2500);
    const WorkList list = parseWorkList(boxText(m_form.txtATables));
    auto excess = list.excess.begin();
    for (int row = 0; row < static_cast<int>(list.rows.size()); ++row) {
        grid->setRows(row + 1);
        const QStringList &cells = list.rows[static_cast<size_t>(row)];
        for (int col = 0; col < cells.size(); ++col)
            grid->setTextMatrix(row, col, cells[col]);
        for (; excess != list.excess.end() && excess->row == row; ++excess)
            if (!goOnAfter(failure(QStringLiteral("Line %1 holds more than five words; \"%2\" is left out.")
                                       .arg(row + 1)
                                       .arg(excess->word))))
                return false;
    }
    return true;
}

Anonymizer::Pass Anonymizer::anonymizeTable(int row, NameDraw &draw) {
    const QString table = m_form.GridA->textMatrix(row, 0);
    QStringList columns;
    for (int col = 0; col < kWorkListColumns; ++col)
        columns << m_form.GridA->textMatrix(row, col);
    m_log.LogLine(table);
    if (std::optional<NameBlocks> blocks =
            NameBlocks::plan(m_sessions.connection(kMirror), table, columns.mid(1)))
        return anonymizeInBlocks(*blocks, columns, draw);
    std::optional<UpdatableCursor> cursor;
    // A table that cannot be opened is left after one question: its record loop would only fail again.
    if (const Attempt opened = attempt([&] { cursor.emplace(m_sessions.connection(kMirror), table); });
        opened != Attempt::Done)
        return leftAfter(opened);
    if (!testRun())
        m_form.lblRecCount->setText(QString::number(cursor->recordCount()));
    qint64 number = 0;
    while (!cursor->eof()) {
        m_form.lblRecNo->setText(QString::number(++number));
        for (int col = 1; col < kWorkListColumns; ++col) {
            const QString &name = columns[col];
            if (name.isEmpty())
                continue;
            const QStringList &names = col == kSurnameColumn ? m_last : m_first;
            const int index = draw.index(names.size());
            QVariant value;
            // A field that cannot be read is assigned all the same (and fails again when the table lacks it).
            const Attempt read = attempt([&] { value = cursor->field(name); });
            if (read == Attempt::Ended)
                return Pass::Ended;
            if (read == Attempt::Done && (value.isNull() || value.toString().isEmpty()))
                continue;
            if (index >= 0 && attempt([&] { cursor->setField(name, names[index]); }) == Attempt::Ended)
                return Pass::Ended;
        }
        // Read at each record: ticked during a run, it keeps every later record as it is.
        if (testRun()) {
            cursor->cancelUpdate();
            return Pass::Next;
        }
        if (attempt([&] { cursor->update(); }) == Attempt::Ended)
            return Pass::Ended;
        // A record the cursor cannot pass would be visited again and again.
        if (const Attempt moved = attempt([&] { cursor->moveNext(); }); moved != Attempt::Done)
            return leftAfter(moved);
        QCoreApplication::processEvents();
        if (m_form.chkStop->isChecked())
            return Pass::Stopped;
    }
    return Pass::Next;
}

void Anonymizer::drawNames(NameRecord &record, const NameBlocks &blocks, const QStringList &columns,
                           NameDraw &draw) {
    for (int col = 1; col < kWorkListColumns; ++col) {
        if (columns[col].isEmpty())
            continue;
        const QStringList &names = col == kSurnameColumn ? m_last : m_first;
        const int index = draw.index(names.size());
        const int field = blocks.fieldOf(col - 1);
        const QVariant value = record.current(field);
        if (value.isNull() || value.toString().isEmpty())
            continue;
        if (index >= 0)
            record.assigned[static_cast<size_t>(field)] = names[index];
    }
}

Anonymizer::Pass Anonymizer::anonymizeInBlocks(NameBlocks &blocks, const QStringList &columns,
                                               NameDraw &draw) {
    if (!testRun()) {
        qint64 count = 0;
        // A table that cannot be counted is left after one question, as one that cannot be opened.
        if (const Attempt counted = attempt([&] { count = blocks.count(); }); counted != Attempt::Done)
            return leftAfter(counted);
        m_form.lblRecCount->setText(QString::number(count));
    }
    qint64 number = 0;
    for (;;) {
        QCoreApplication::processEvents();
        if (m_form.chkStop->isChecked())
            return Pass::Stopped;
        std::vector<NameRecord> records;
        // A block that cannot be read ends the table: reading it again would only fail again.
        if (const Attempt read = attempt([&] { records = blocks.read(testRun() ? 1 : blocks.blockRows()); });
            read != Attempt::Done)
            return leftAfter(read);
        if (records.empty())
            return Pass::Next;
        bool leave = false;
        for (size_t i = 0; i < records.size() && !leave; ++i) {
            m_form.lblRecNo->setText(QString::number(++number));
            drawNames(records[i], blocks, columns, draw);
            // A test run leaves the table at its record, written or not: that record's names are dropped.
            if ((leave = testRun()))
                records.resize(i);
        }
        if (!writeBlock(blocks, records))
            return Pass::Ended;
        if (leave)
            return Pass::Next;
    }
}

bool Anonymizer::writeBlock(NameBlocks &blocks, const std::vector<NameRecord> &records) {
    try {
        blocks.write(records);
        return true;
    } catch (const DbError &e) {
        // Cancelled, timed out or cut off: one question, and the next read tells the rest.
        if (blocks.endsTheRecords(e))
            return goOnAfter(e);
    }
    // Refused as a block: each record on its own, so that each refusal is asked about as before.
    for (const NameRecord &r : records)
        if (attempt([&] { blocks.writeOne(r); }) == Attempt::Ended)
            return false;
    return true;
}

} // namespace quorix
