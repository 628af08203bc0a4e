#pragma once

// A read-only table view over rows of text: the window's database lists, table browser and work-list grid.
// Column headers are shown in the header bar, not as a row, so rows() is the number of data rows.

#include <QStringList>
#include <QTableView>
#include <vector>

namespace quorix {

class GridModel;

class Grid : public QTableView {
    Q_OBJECT
public:
    explicit Grid(QWidget *parent = nullptr);

    // Replaces every row and the column headers at once (a "bind" to a result).
    void setData(QStringList headers, std::vector<QStringList> rows);
    void clear();

    int rows() const;
    int cols() const;
    QString textMatrix(int row, int col) const;                // empty text outside the grid
    void setTextMatrix(int row, int col, const QString &text); // grows the grid as needed
    void setCols(int cols);
    void setRows(int rows);

    int row() const; // current row, -1 when none
    void setRow(int row);

    // Column width in the classic unit of 1/1440 inch, as the layout of the forms states it.
    void setColWidthTwips(int col, int twips);

signals:
    void clicked1(); // a click on a row (after the current row has moved there)
    void doubleClicked1();

private:
    GridModel *m_model;
};

} // namespace quorix
