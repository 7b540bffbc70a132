// The number list of the number and row-column categories: the entries a range gives, the
// entries a custom text adds, and the candidate tables built from the list.
#pragma once

#include "lesson/SessionState.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace rostrel::numbers {

// Categories as PickCategory holds them.
constexpr int kNumberCategory = 1;
constexpr int kSeatCategory = 2;

// The number list, the roster and the pool are counted in 16 bits.
constexpr int kMaxEntries = 32767;

struct Range {
    int16_t first = 0;  // smallest number, or number of rows
    int16_t second = 0; // largest number, or number of columns
};

// Reads the two range boxes after box `index` lost the focus. Accepted when the whole text of
// that box is a number, the second box reads strictly greater than the first (unrounded), both
// round into 16 bits and the list the range gives holds at most kMaxEntries entries.
std::optional<Range> readRange(int category, const QString& text0, const QString& text1, int index);

// The entries of a range: every integer first..second ascending (number category), or every
// seat "r-c" of rows 1..first and columns 1..second, rows outer (row-column category).
// Assumes a range accepted by readRange.
QStringList rangeEntries(int category, Range range);

// The entries that adding the custom text to `existing` gives, in order. Full-width commas
// count as commas and spaces are dropped before the text is split at ",".
// Number category: every piece that reads as a positive finite number not yet in the list
// (compared as numbers) adds its shortest decimal text, so "007" adds 7 and "1e2" adds 100.
// Row-column category: every piece of the form r-c, with r and c whole numbers 1..32767 written
// in digits, adds the seat "r-c" (without leading zeros) when that seat is not yet listed.
// Other pieces are skipped. nullopt when the list would grow beyond kMaxEntries.
std::optional<QStringList> customAdditions(int category, const QStringList& existing, const QString& text);

// Fills RosterCount, RosterTable (key in column 0), PickPool (key in column 1; columns 0..3),
// PoolCount from the list. The group plan and PickIndex are left alone.
void loadNumberTables(SessionState& st, const QStringList& entries);

} // namespace rostrel::numbers
