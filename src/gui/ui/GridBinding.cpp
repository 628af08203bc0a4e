#include "gui/ui/GridBinding.h"

#include "core/db/Recordset.h"
#include "gui/ui/widgets/Grid.h"

namespace quorix {

void bindGrid(Grid &grid, Recordset &rs) {
    QStringList headers = rs.fieldNames();
    std::vector<QStringList> rows;
    while (!rs.eof()) {
        QStringList texts;
        texts.reserve(headers.size());
        for (const QVariant &v : rs.row())
            texts << Recordset::displayText(v);
        rows.push_back(std::move(texts));
        rs.moveNext();
    }
    grid.setData(std::move(headers), std::move(rows));
}

} // namespace quorix
