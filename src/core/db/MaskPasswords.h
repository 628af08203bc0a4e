#pragma once

// Passwords written into statements, hidden where statements are shown or kept: the log pane, standard
// output, the journal. What is sent to the server keeps the real text.

#include <QString>

namespace quorix {

// The text with every string literal that follows PASSWORD = or OLD_PASSWORD = (any letter case, comments
// and blanks between them allowed) replaced by '********' (N'********' for a Unicode literal), so
// CREATE LOGIN ... WITH PASSWORD = '...', CREATE MASTER KEY ENCRYPTION BY PASSWORD = '...', CREATE and
// BACKUP CERTIFICATE ... ENCRYPTION BY PASSWORD = '...' and OPEN MASTER KEY DECRYPTION BY PASSWORD = '...'
// show no password. Words inside literals, quoted names and comments are not looked at; a literal that does
// not end is masked to the end of the text. Everything else is left as it was, character for character.
QString maskStatementPasswords(const QString &sql);

} // namespace quorix
