// Cell reads and writes on the class sheet activated last, and closing the roll book, for
// the roll-book and scoring handlers.
#pragma once

#include "lesson/SessionState.h"
#include "platform/Log.h"
#include "rollbook/ClassSheet.h"

#include <stdexcept>

namespace rostrel::rollbook {

// The workbook of the activated sheet, with that sheet active. A closed workbook or no sheet
// at all is a failure of the action in progress.
inline workbook::Workbook& sheetBook(const SheetRef& sheet) {
    if (!sheet.valid() || sheet.book->isClosed())
        throw std::runtime_error("no class sheet is active");
    if (sheet.book->activeSheet() != sheet.index)
        sheet.book->activate(sheet.index);
    return *sheet.book;
}

inline Cell readCell(const SheetRef& sheet, int row, int column) {
    return toCell(sheetBook(sheet).cell(row, column));
}

inline void writeCell(const SheetRef& sheet, int row, int column, const Cell& value) {
    sheetBook(sheet).setCell(row, column, toCellValue(value));
}

inline CellReader sheetReader(const SheetRef& sheet) {
    return [&sheet](int row, int column) { return readCell(sheet, row, column); };
}

// Closes the roll book (unsaved changes are dropped) and forgets it; the next
// OpenClassSheet opens the file again.
inline void closeRollBook(SessionState& st) {
    workbook::Workbook* book = st.ExcelBook ? st.ExcelBook : st.ExcelSheet.book;
    if (book && !book->isClosed()) {
        try {
            book->close();
        } catch (...) {
            logCaught("closing the roll book");
        }
    }
    st.ExcelBook = nullptr;
    st.ExcelSheet = {};
}

// A class of the roll book is loaded: its roster may be used for writing.
inline bool classRosterLoaded(const SessionState& st) {
    return st.PickCategory == 0 && st.RosterCount >= 2 && st.RosterTable.allocated() &&
           st.RosterTable.lastRow() == st.RosterCount && st.RosterTable.lastCol() == 3;
}

} // namespace rostrel::rollbook
