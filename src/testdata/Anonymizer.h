#pragma once

// "Anonymize Right DB ->" (cmdAnonymize): replaces people's names in the Mirror's databases with names drawn
// from the surname and given-name boxes. Each line of the work list (txtATables, shown parsed in GridA)
// names a table and its name columns: the first column takes surnames, the next three given names. Every
// record of the table is read through an updatable cursor on the Mirror session, each named field that
// holds a name gets a draw of its own, and the record is written back before the cursor moves on. A test
// run ("Test Run", read at each record) visits the first record of each table and writes nothing; STOP
// ends a run after the record in hand.
//
// A failed step asks the user with its description followed by "Continue?": Yes goes on with the next step
// (a table that cannot be opened is left), No ends the run there.

#include "testdata/AnonymizerRules.h"

#include <QStringList>
#include <memory>

namespace quorix {

struct Form;
class ServerSessions;
class LogPanes;
class Hourglass;

class Anonymizer {
public:
    Anonymizer(Form &form, ServerSessions &sessions, const LogPanes &log);
    ~Anonymizer();

    void cmdAnonymize_Click();

private:
    struct Ended {}; // the user answered No

    void run();
    void fillLists();
    void fillGrid();
    // One pass over the table of the grid's row; false when STOP ended the run.
    bool anonymizeTable(int row, NameDraw &draw);
    // Runs step; true when it succeeded. A failure asks "Continue?": false for Yes, Ended thrown for No.
    template <class Step> bool attempt(Step &&step);

    Form &m_form;
    ServerSessions &m_sessions;
    const LogPanes &m_log;
    std::unique_ptr<Hourglass> m_hourglass;
    QStringList m_last;
    QStringList m_first;
};

} // namespace quorix
