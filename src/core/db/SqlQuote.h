#pragma once

// Quoting of names and texts that are pasted into T-SQL. Every statement keeps its usual text for ordinary
// names; any other name or text is quoted so that it can only ever be a name or a text, never more SQL.

#include <QString>
#include <QStringList>
#include <QVariant>

namespace quorix {

// True for a name the server reads as itself without brackets: a letter (any script) or "_" first, then
// letters, decimal digits, "_", "@", "#" or "$", and not a reserved word. "@" and "#" are refused as
// the first character because the server reads them as a variable or a temporary object.
bool isRegularIdentifier(const QString &name);

// A name as an identifier: verbatim when it is a regular identifier, otherwise "[" + name + "]" with
// every "]" doubled. An empty name comes back as "[]", which the server refuses as a name.
QString sqlName(const QString &name);

// A whole literal for text, which every statement pastes in: '...' with every "'" doubled, and an N in
// front when any character lies outside plain ASCII. Without the N the server reads the text through its
// code page, where a Cyrillic or Chinese name becomes "?"s and no longer names anything; plain ASCII keeps
// the bare '...' so that ordinary statements read as they always have.
QString sqlLiteral(const QString &text);
// N'...' whatever the text holds, for the statements that always carry the N.
QString sqlUnicodeLiteral(const QString &text);

// Text for the inside of a '...' literal: every "'" doubled. Statements use sqlLiteral.
QString sqlLiteralText(const QString &text);

// A value read from a server as the text a statement's literal carries (sqlLiteral quotes it), so that
// the server reads back the same value: NULL as empty text, bit as 1/0, numbers in full, a date as
// yyyyMMdd and a date and time as yyyy-MM-ddThh:mm:ss.zzz (the two forms the server reads alike whatever
// the login's language or DATEFORMAT; a grid's "yyyy-MM-dd hh:mm:ss" is read year-day-month under some).
// Not the grid's text: Recordset::displayText is what a person reads.
QString sqlValueText(const QVariant &value);

// Text for the inside of a [...] that the statement writes itself: every "]" doubled.
QString bracketInner(const QString &name);

// "Use " and the database's name by the quoting rule: "Use QRIX", "Use [My DB]".
QString useStatement(const QString &db);

// "INSERT INTO <table> (a, b) VALUES (?, ?)": the names by the quoting rule, one marker each.
QString insertStatement(const QString &qualifiedTable, const QStringList &columns);

} // namespace quorix
