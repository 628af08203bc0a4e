#pragma once
// The rule file of the standalone server (tds-scripted-server --rules FILE):
//
//   # a comment; blank lines are ignored
//   login sa secret              # or: password secret
//   databases master tempdb Billing
//   default-database master
//   exact SELECT 1               # starts a rule matching this exact text (\n \t \\ escapes)
//   pattern SELECT .* FROM t     # starts a rule matching the whole text by regular expression (as written)
//   ipattern select .*           # the same, ignoring case
//     columns name:nvarchar(128) id:int   # starts a result set
//     row master|1                        # cells separated by |; NULL is NULL; \| is a bar
//     count 5                             # a row count
//     error 208 16 1 Invalid object name 'x'.
//     info 0 0 1 some text                # number severity state text
//     delay 500                           # milliseconds
//     drop                                # close the connection instead of answering
//     use Billing                         # switch database after the reply
//   table Billing..patients      # starts a table of the table model (TableModel.h), ended by the next
//     columns id:int name:nvarchar(50)   # table or rule: its columns,
//     key id                             # the columns of its primary key (NOT NULL),
//     identity id                        # its identity column (NOT NULL),
//     row 1|Ann                          # and its rows

#include "tds/ScriptedServer.h"

#include <istream>

namespace quorix::tds {

// Applies the file's settings and rules to the server. Throws std::invalid_argument naming the line.
void loadRules(std::istream &in, ScriptedServer &server);

} // namespace quorix::tds
