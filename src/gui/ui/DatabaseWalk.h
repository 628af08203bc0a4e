#pragma once

// The window's side of the one walk (core/db/Walk.h) that the mirroring, restore, table copy and masking
// features share: STOP (chkStop), ALL DBS (chkALL), the status bar for "3 of 12: Billing" and the event
// loop, and the sessions' reconnect of a lost link before each database (before each table, with the
// table's USE sent again, in a walk over tables). The ALL DBS walk puts each row of a slot's database list
// into txtDB and runs the work on that database; "ALL DBS" is read after each database, so unticking it
// ends the walk there; where a feature says so, a ticked "STOP" ends it too (and is unticked again where
// the feature says so).

#include "core/db/Walk.h"

#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace quorix {

struct Form;
class LogPanes;
class ServerSessions;

// One step of a database walk, or a single-database press: the work gets the step's database, taken once
// at the step's start, and acts on it to its last statement. A name typed or clicked into txtDB meanwhile
// counts from the next step (a walk's next database comes from the walk) or the next press.
using DatabaseStep = std::function<WalkOn(const QString &db)>;

// The window's checks, yield and status bar. With sessions, a session whose link was lost reconnects
// before each item; walks over the tables of one database take tableWalk's hooks instead.
WalkHooks windowWalk(Form &form, ServerSessions *sessions);

// The hooks of a walk over the tables of one database on the sessions of sessionSlots: before each table a
// session whose link was lost reconnects, and reenter(slot) then sends what puts it back in the tables'
// database (its USE), since a reconnected session is back in its login's database.
WalkHooks tableWalk(Form &form, ServerSessions &sessions, std::vector<int> sessionSlots,
                    std::function<void(int slot)> reenter);

// After a table's work: whether the link of one of sessionSlots was lost during it. Such a table is logged as
// failed (tableCutLine) and counted, so it never passes for done; the walk reconnects before the next.
bool tableCutOff(ServerSessions &sessions, const LogPanes &log, const std::vector<int> &sessionSlots,
                 const QString &table);
QString tableCutLine(const QString &table);

// Walks the rows of GridDB(slot), row 0 to the last row (re-read as the walk goes, since the work may
// reload the list): each row is put into txtDB and given to the work as its database. Returns false when
// the walk was ended early by STOP, by unticking ALL DBS or by the work. last (when given) gets the
// database of the last step taken.
bool walkDatabases(Form &form, ServerSessions &sessions, int slot, const DatabaseStep &work,
                   WalkRules rules = {}, QString *last = nullptr);

// The same over a list of names taken once (a file list's entries, say); the work puts each name where
// it belongs and may end the walk. label gives the database a name stands for, for the status bar (the
// name itself where it gives none).
bool walkNames(Form &form, ServerSessions &sessions, const QStringList &names,
               const std::function<WalkOn(const QString &)> &work, WalkRules rules = {},
               const std::function<QString(const QString &)> &label = {});

// The database buttons act on the database named in txtDB. With none named (the box empty or blank) they
// refuse: this logs kNoDatabase and returns false, and the caller sends nothing. The second form judges a
// step's database, taken from the box at the step's start.
bool databaseNamed(const Form &form, const LogPanes &log);
bool databaseNamed(const QString &db, const LogPanes &log);
inline constexpr const char *kNoDatabase = "No database named in the Database box: nothing was sent";

// Runs work for every database of the slot's list when ALL DBS is ticked, else once for current (txtDB as
// it stands now when none is given: a handler calling another hands it its step's database). Returns the
// database the walk left in txtDB (current when it did not walk or took no step).
QString forCurrentOrAllDatabases(Form &form, ServerSessions &sessions, int slot, const DatabaseStep &work,
                                 WalkRules rules = {}, const std::optional<QString> &current = std::nullopt);

} // namespace quorix
