#include "core/status/ResultTable.h"

#include "core/db/Recordset.h"

namespace quorix::status {

int ResultTable::column(const QString &name) const {
    for (int i = 0; i < columns.size(); ++i)
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant ResultTable::value(size_t row, const QString &name) const {
    const int c = column(name);
    if (c < 0 || row >= rows.size() || static_cast<size_t>(c) >= rows[row].size())
        return {};
    return rows[row][static_cast<size_t>(c)];
}

QString ResultTable::text(size_t row, const QString &name) const {
    // Fixed-width server columns (nchar) arrive padded.
    return Recordset::displayText(value(row, name)).trimmed();
}

} // namespace quorix::status
