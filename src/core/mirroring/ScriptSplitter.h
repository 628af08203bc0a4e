#pragma once

// Splits a T-SQL script into the batches the script runner sends one by one.
//
// - A batch ends at a line holding only GO (any letter case, blanks and tabs around it allowed), as the
//   server's own tools read scripts. "GO" at the end of a longer line (CARGO) is ordinary text.
// - Lines may end in CR LF or LF (the script boxes give LF); batches are sent with CR LF line ends. The
//   line end before a GO line is cut back to its CR, so a batch ends with the CR of its last line; a last
//   batch without a line end keeps all of its text.
// - Blanks around the batch are trimmed, then leading CR and LF are taken off the start as the runner
//   always has (CRs first, then LFs; tabs stay).
// - Statement-ending ";" are removed; a ";" inside a '...' text, a "..." or [...] name, or a comment is
//   left alone, and so is one whose removal would join its neighbours into a comment mark ("-;-") or a
//   doubled quote ("'a';'b'").
// - A batch whose text (blanks trimmed) starts with "-" loses its first line, the comment, and is not
//   echoed to the log by the runner; every other batch is echoed before it is sent.
// - A batch with nothing left to send (two GO lines in a row, a script starting with GO, a comment line
//   alone, blank lines alone) is passed over; the batches after it still run.

#include <QList>
#include <QString>

namespace quorix {

struct ScriptBatch {
    QString text; // what is sent to the server
    bool echo;    // whether the runner logs the text before sending it
};

QList<ScriptBatch> splitScript(const QString &script);

// Removes ";" that stand outside texts, quoted names and comments.
QString removeStatementSemicolons(const QString &sql);

} // namespace quorix
