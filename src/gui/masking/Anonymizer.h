#pragma once

// "Anonymize Right DB ->" (cmdAnonymize): replaces people's names in the Mirror's databases with names drawn
// from the surname and given-name boxes. Each line of the work list (txtATables, shown parsed in GridA)
// names a table and its name columns: the first column takes surnames, the next three given names. Each
// named field of every record that holds a name gets a draw of its own. A table with a unique key is walked
// in blocks of records (NameBlocks: a block read in one statement, its names written back in one), STOP
// being read before each block; any other table record by record through an updatable cursor on the
// Mirror session, each record written back before the cursor moves on and STOP read after it. A test run
// ("Test Run", read at each record) visits the first record of each table and writes nothing; a run that
// started as a test run stays one.
// Between tables a Mirror session that lost its link reconnects and is put back in the database it was in
// as the run started; a table the drop cut short is logged and counted as failed.
//
// A failed step asks the user with its description followed by "Continue?": Yes goes on with the next step
// (a table that cannot be opened is left), No ends the run there.

#include "core/masking/AnonymizerRules.h"
#include "core/masking/NameBlocks.h"

#include <QStringList>
#include <memory>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;
class Hourglass;
class DbError;

class Anonymizer {
public:
    Anonymizer(Form &form, ServerSessions &sessions, const LogPanes &log);
    ~Anonymizer();

    void cmdAnonymize_Click();

private:
    // How a step went: done, failed and passed over (the user answered Yes), or failed and the run ends (No).
    enum class Attempt { Done, Failed, Ended };
    // How a table's pass ended: the run goes on with the next table, STOP ended it, or the user did.
    enum class Pass { Next, Stopped, Ended };
    static Pass leftAfter(Attempt failed) { return failed == Attempt::Ended ? Pass::Ended : Pass::Next; }

    void run();
    // false when the user ended the run at a question about the lists
    // Reads the mirroring role of each database the tables lie in, on the Mirror's server: true (told)
    // when one is the principal of a mirroring session, or its role cannot be read. A test run reads none.
    bool writesIntoProduction(const QStringList &tables);
    bool fillLists();
    bool fillGrid();
    // One pass over the table of the grid's row.
    Pass anonymizeTable(int row, NameDraw &draw);
    // The same pass for a table with a unique key, in blocks of records.
    Pass anonymizeInBlocks(NameBlocks &blocks, const QStringList &columns, NameDraw &draw);
    // The draws of one record, as the cursor's walk makes them: one per named column.
    void drawNames(NameRecord &record, const NameBlocks &blocks, const QStringList &columns, NameDraw &draw);
    // The block's changed records in one statement; a refused block record by record, each refusal asked.
    // false when the user ended the run.
    bool writeBlock(NameBlocks &blocks, const std::vector<NameRecord> &records);
    // Asks with the failure's description followed by "Continue?": true for Yes.
    bool goOnAfter(const DbError &e);
    // Runs step; a failure is asked about.
    template <class Step> Attempt attempt(Step &&step);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
    std::unique_ptr<Hourglass> m_hourglass;
    // Ticking Test Run during a run keeps every later record as it is; unticking it during a test run does
    // not make it write, since the production guard reads no role for a test run.
    bool testRun() const;
    bool m_startedAsTestRun = false;
    QStringList m_last;
    QStringList m_first;
};

} // namespace quorix
