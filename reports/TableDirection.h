#pragma once

#include <QString>

namespace reports {

// Qt's rich text lays a table's columns out from the left whatever the
// direction of its text. A report reads right to left, and its tables read
// as a browser shows them on a right-to-left page: the first cell of each
// row on the right, so that a label written before its value stands to the
// right of it. This writes the tables of `html` in the order the rich text
// must lay their cells out for that: each row's cells reversed, a row
// shorter than its table completed with empty cells on its left, column
// and row spans kept. A table marked dir="ltr" keeps its order, and so do
// the tables inside it that say nothing of their own, and every table of a
// body or html element marked dir="ltr". Anything else of the HTML stays
// as it is written.
QString rightToLeftTables(const QString &html);

} // namespace reports
