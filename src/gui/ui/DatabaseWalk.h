#pragma once

// The ALL DBS walk that the mirroring, restore and test-data features share: for each row of a slot's
// database list, the name goes into txtDB, the work runs, and the walk looks at the check boxes again
// before the next database. "ALL DBS" is read after each database, so unticking it ends the walk there;
// where a feature says so, a ticked "STOP" ends it too (and is unticked again where the feature says so).

#include <QStringList>
#include <functional>

namespace quorix {

struct Form;
class LogPanes;

// The steps of a walk or of a loop over a list's databases. Before each database it gives the window's
// session hook its turn (a session whose link was lost reconnects there, never in the middle of a
// database's statements) and shows "3 of 12: Billing" in the status bar; the message goes when the
// walk ends.
class WalkSteps {
public:
    explicit WalkSteps(Form &form) : m_form(form) {}
    ~WalkSteps();
    WalkSteps(const WalkSteps &) = delete;
    WalkSteps &operator=(const WalkSteps &) = delete;
    void step(int number, int count, const QString &name); // number counts from 1

private:
    Form &m_form;
};

QString walkProgress(int number, int count, const QString &name);

// The hook run before each database of a walk on this form's window: the sessions reconnect a lost link
// there. An empty hook removes it.
void setBeforeWalkStep(const Form &form, std::function<void()> hook);

struct WalkRules {
    bool stopOnStop = false; // end the walk when STOP is ticked after a database
    bool untickStop = false; // ... and untick STOP then
    bool followAll = true;   // end the walk when ALL DBS has been unticked
};

// Walks the rows of GridDB(slot), row 0 to the last row (re-read as the walk goes, since the work may
// reload the list). Returns false when the walk was ended early by STOP or by unticking ALL DBS.
bool walkDatabases(Form &form, int slot, const std::function<void()> &work, WalkRules rules = {});

// The same over a list of names taken once (a file list's entries, say); the work puts each name where
// it belongs. label gives the database a name stands for, for the status bar (the name itself where it
// gives none).
bool walkNames(Form &form, const QStringList &names, const std::function<void(const QString &)> &work,
               WalkRules rules = {}, const std::function<QString(const QString &)> &label = {});

// The database buttons act on the database named in txtDB. With none named (the box empty or blank) they
// refuse: this logs kNoDatabase and returns false, and the caller sends nothing.
bool databaseNamed(const Form &form, const LogPanes &log);
inline constexpr const char *kNoDatabase = "No database named in the Database box: nothing was sent";

// Runs work for every database of the slot's list when ALL DBS is ticked, else once for txtDB.
void forCurrentOrAllDatabases(Form &form, int slot, const std::function<void()> &work, WalkRules rules = {});

} // namespace quorix
