#pragma once

// Turns SQL text into program source that builds it in a string variable SQLStr, one source line per SQL
// line joined by line continuations, and back. Texts use CR LF between lines.

#include <QString>

namespace quorix {

// SQLStr = " + sql with every CR LF replaced by `" & _ ` CR LF `"` + ".
QString sqlToVbSource(const QString &sql);
// Removes every "& _" and then every double quote; everything else stays.
QString vbSourceToSql(const QString &source);

} // namespace quorix
