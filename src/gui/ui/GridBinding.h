#pragma once

// Filling a grid from a result set, as binding a grid to a recordset did: the field names become the
// column headers and every row from the current one to the end becomes a row of texts.

namespace quorix {

class Grid;
class Recordset;

// Reads rs to its end (rs is then at end-of-file). Throws DbError when rs is closed or a row cannot be
// read; the grid keeps its previous content then.
void bindGrid(Grid &grid, Recordset &rs);

} // namespace quorix
