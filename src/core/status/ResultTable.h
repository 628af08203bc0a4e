#pragma once

// A result read to its end, its cells found by column name. A column the server did not send reads as
// empty, so a server that lacks a column shows a blank rather than an error.

#include <QStringList>
#include <QVariant>
#include <vector>

namespace quorix::status {

struct ResultTable {
    QStringList columns;
    std::vector<std::vector<QVariant>> rows;

    int column(const QString &name) const; // letter case ignored; -1 when there is none
    QVariant value(size_t row, const QString &name) const;
    QString text(size_t row, const QString &name) const; // as a grid shows it, trimmed
    bool empty() const { return rows.empty(); }
};

} // namespace quorix::status
