// Score arithmetic and the day label of a score column, as the write-back uses them.
#pragma once

#include "platform/CellTable.h"
#include "platform/Values.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace rostrel::scoring {

// The header of a score column read as a day "MM月dd": a date or a number as the day it
// stands for, a text holding a date ("2026/3/16", "2026-3-16") as that day, any other text
// as it is, an empty cell as "".
QString headerDayLabel(const Cell& header);

// The student's new score: the cell's value read as the number its text begins with (empty
// or not a number: 0) plus the points of the score box's text, added in single precision.
float addPoints(const Cell& current, const QString& points);

// The value stored for a single-precision score: the shortest decimal that reads back as the
// same float, as a double (2.5f + 0.1f is stored as 2.6, not 2.5999999046325684).
double storedScore(float score);

// The sheet row of the student picked with `key`: the student's number + 2 when column A of
// that row holds the key, otherwise the first roster row (3 .. rosterCount + 2) whose column A
// holds it (numbers with gaps, school numbers); 0 when no row does. Keys are compared as text.
using NumberReader = std::function<Cell(int row)>;
int studentRow(const QString& key, int rosterCount, const NumberReader& numberAt);

// The grouping of roster rows 1..count as cells to write: for student i, its group number
// (roster column 2) into column E and its member number (column 3) into column F of row i + 2.
using CellWriter = std::function<void(int row, int column, const Cell& value)>;
void writeGrouping(const CellTable2& roster, int16_t count, const CellWriter& write);

} // namespace rostrel::scoring
