// The class sheet of a roll book: how its cells become the program's values, the stored
// grouping (columns E and F), the day's score column and the pick pool. Plain logic over
// cell reads; the window's handlers do the reading through the workbook session.
#pragma once

#include "platform/CellTable.h"
#include "platform/Values.h"
#include "platform/workbook/Workbook.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace rostrel::rollbook {

// Class-sheet layout (1-based rows and columns).
inline constexpr int kHeaderRow = 2;
inline constexpr int kFirstStudentRow = 3;
inline constexpr int kNumberColumn = 1;     // A: student number
inline constexpr int kNameColumn = 2;       // B: name
inline constexpr int kGroupColumn = 5;      // E: group number
inline constexpr int kMemberColumn = 6;     // F: member number within the group
inline constexpr int kFirstScoreColumn = 7; // G

// A cell as the engine gives it <-> a cell as the session holds it.
Cell toCell(const workbook::CellValue& value);
workbook::CellValue toCellValue(const Cell& cell);

// Leading and trailing spaces removed (spaces only, as the roll book's blank test has it).
QString trimSpaces(const QString& text);

// True when the cell's text, trimmed of spaces, is empty. An error value throws
// TypeMismatchError.
bool blankAfterTrim(const Cell& cell);

// Reads cell (row, column) of the class sheet.
using CellReader = std::function<Cell(int row, int column)>;

// The group plan stored in a sheet. `roster` rows 1..count hold the students (columns 0..3:
// number, name, group number, member number as read). The result has dimensions
// 0..groupCount x 0..groupSize x 0..1: (g, 0, 0) member count, (g, m, 0) number,
// (g, m, 1) name.
//
// When every student's own group and member numbers form a consistent plan (whole numbers
// within 1..groupCount and 1..groupSize, no seat taken twice, each group's member numbers
// running 1..its size), each student is placed where its row says: a grouping written back
// after a random grouping comes back as written. Otherwise the students are read group by
// group in row order (the first groupSize rows form group 1, ...), the last group holding
// the rest; that reading throws std::out_of_range when the plan does not fit the roster.
CellTable3 storedGroupTable(const CellTable2& roster, int16_t count, int16_t groupCount, int16_t groupSize);

// The placement by the students' own numbers alone; nothing when they are not consistent.
std::optional<CellTable3> groupsByOwnNumbers(const CellTable2& roster, int16_t count, int16_t groupCount,
                                             int16_t groupSize);

// The day's score column: the last column from G on whose header (row 2) is filled; with
// `newColumnPerDay` and that header not reading `today`, the next one. Scores never go into
// a column left of G: with no score headers the answer is G (column F holds member numbers).
int16_t chooseScoreColumn(const CellReader& read, bool newColumnPerDay, const QString& today);

// Fills `pool` rows 1..result with the students whose cell in `scoreColumn` is blank:
// (roster index, student number, sheet row). When every student has a value there, all
// students are candidates. `pool` must have rows 0..count and columns 0..2.
int16_t fillPickPool(CellTable2& pool, const CellTable2& roster, int16_t count, int16_t scoreColumn,
                     const CellReader& read);

} // namespace rostrel::rollbook
