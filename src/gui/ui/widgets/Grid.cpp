#include "gui/ui/widgets/Grid.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <algorithm>

namespace quorix {

// Rows of text held as they came; the view asks only for what it shows, so binding thousands of rows is
// one move of the vector and one model reset.
class GridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : m_cols; }

    QVariant data(const QModelIndex &index, int role) const override {
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        return text(index.row(), index.column());
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole)
            return {};
        if (orientation == Qt::Vertical)
            return section + 1;
        return section < m_headers.size() ? m_headers.at(section) : QString();
    }

    QString text(int row, int col) const {
        if (row < 0 || col < 0 || row >= static_cast<int>(m_rows.size()) || col >= m_cols)
            return {};
        const QStringList &cells = m_rows[static_cast<size_t>(row)];
        return col < cells.size() ? cells.at(col) : QString();
    }

    void reset(QStringList headers, std::vector<QStringList> rows) {
        beginResetModel();
        int cols = static_cast<int>(headers.size());
        for (const QStringList &r : rows)
            cols = std::max(cols, static_cast<int>(r.size()));
        m_headers = std::move(headers);
        m_rows = std::move(rows);
        m_cols = cols;
        endResetModel();
    }

    void setRows(int rows) {
        rows = std::max(rows, 0);
        const int old = rowCount();
        if (rows > old) {
            beginInsertRows({}, old, rows - 1);
            m_rows.resize(static_cast<size_t>(rows));
            endInsertRows();
        } else if (rows < old) {
            beginRemoveRows({}, rows, old - 1);
            m_rows.resize(static_cast<size_t>(rows));
            endRemoveRows();
        }
    }

    void setCols(int cols) {
        cols = std::max(cols, 0);
        if (cols > m_cols) {
            beginInsertColumns({}, m_cols, cols - 1);
            m_cols = cols;
            endInsertColumns();
        } else if (cols < m_cols) {
            beginRemoveColumns({}, cols, m_cols - 1);
            m_cols = cols;
            for (QStringList &r : m_rows)
                if (r.size() > cols)
                    r.erase(r.begin() + cols, r.end());
            endRemoveColumns();
        }
    }

    void setText(int row, int col, const QString &text) {
        if (row < 0 || col < 0)
            return;
        if (col >= m_cols)
            setCols(col + 1);
        if (row >= rowCount())
            setRows(row + 1);
        QStringList &cells = m_rows[static_cast<size_t>(row)];
        while (cells.size() <= col)
            cells.append(QString());
        cells[col] = text;
        emit dataChanged(index(row, col), index(row, col));
    }

private:
    QStringList m_headers;
    std::vector<QStringList> m_rows;
    int m_cols = 0;
};

Grid::Grid(QWidget *parent) : QTableView(parent), m_model(new GridModel(this)) {
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAlternatingRowColors(true);
    setWordWrap(false);
    // Uniform row heights: the view never measures rows, so a long list scrolls and binds at once.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // Columns keep the widths they are given (the database lists' 3000 twips), as the grids always did.
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    connect(this, &QAbstractItemView::clicked, this, [this] { emit clicked1(); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this] { emit doubleClicked1(); });
}

void Grid::setData(QStringList headers, std::vector<QStringList> rows) {
    m_model->reset(std::move(headers), std::move(rows));
}

void Grid::clear() {
    m_model->reset({}, {});
}

int Grid::rows() const {
    return m_model->rowCount();
}
int Grid::cols() const {
    return m_model->columnCount();
}
QString Grid::textMatrix(int row, int col) const {
    return m_model->text(row, col);
}
void Grid::setTextMatrix(int row, int col, const QString &text) {
    m_model->setText(row, col, text);
}
void Grid::setCols(int cols) {
    m_model->setCols(cols);
}
void Grid::setRows(int rows) {
    m_model->setRows(rows);
}

int Grid::row() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void Grid::setRow(int row) {
    if (row < 0 || row >= rows()) {
        setCurrentIndex({});
        return;
    }
    setCurrentIndex(m_model->index(row, 0));
}

void Grid::setColWidthTwips(int col, int twips) {
    if (col < 0)
        return;
    if (col >= cols())
        setCols(col + 1);
    setColumnWidth(col, twips * logicalDpiX() / 1440);
}

} // namespace quorix
