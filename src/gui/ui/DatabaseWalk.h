#pragma once

// The window's side of the one walk (core/db/Walk.h) that the mirroring, restore, table copy and masking
// features share: STOP (chkStop), ALL DBS (chkALL), the status bar for "3 of 12: Billing" and the event
// loop, and the sessions' reconnect of a lost link before each database. The ALL DBS walk puts each row of
// a slot's database list into txtDB and runs the work; "ALL DBS" is read after each database, so unticking
// it ends the walk there; where a feature says so, a ticked "STOP" ends it too (and is unticked again where
// the feature says so).

#include "core/db/Walk.h"

#include <QStringList>
#include <functional>

namespace quorix {

struct Form;
class LogPanes;
class ServerSessions;

// The window's checks, yield and status bar. With sessions, a session whose link was lost reconnects
// before each item; walks over the tables of one database pass none, since a reconnected session is back
// in its login's database without the USE the tables' statements rely on.
WalkHooks windowWalk(Form &form, ServerSessions *sessions);

// Walks the rows of GridDB(slot), row 0 to the last row (re-read as the walk goes, since the work may
// reload the list). Returns false when the walk was ended early by STOP, by unticking ALL DBS or by the
// work.
bool walkDatabases(Form &form, ServerSessions &sessions, int slot, const std::function<WalkOn()> &work,
                   WalkRules rules = {});

// The same over a list of names taken once (a file list's entries, say); the work puts each name where
// it belongs and may end the walk. label gives the database a name stands for, for the status bar (the
// name itself where it gives none).
bool walkNames(Form &form, ServerSessions &sessions, const QStringList &names,
               const std::function<WalkOn(const QString &)> &work, WalkRules rules = {},
               const std::function<QString(const QString &)> &label = {});

// The database buttons act on the database named in txtDB. With none named (the box empty or blank) they
// refuse: this logs kNoDatabase and returns false, and the caller sends nothing.
bool databaseNamed(const Form &form, const LogPanes &log);
inline constexpr const char *kNoDatabase = "No database named in the Database box: nothing was sent";

// Runs work for every database of the slot's list when ALL DBS is ticked, else once for txtDB.
void forCurrentOrAllDatabases(Form &form, ServerSessions &sessions, int slot,
                              const std::function<WalkOn()> &work, WalkRules rules = {});

} // namespace quorix
