// The lesson's state that outlives one operation: the roll-book session, roster, group plan
// and pick pool. Integers are 16-bit signed; arithmetic on them goes through add16/sub16/mul16.
#pragma once

#include "platform/CellTable.h"
#include "platform/workbook/Workbook.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace rostrel {

// The worksheet activated last: a workbook of the session and a 1-based sheet index.
struct SheetRef {
    workbook::Workbook* book = nullptr;
    int16_t index = 0;
    bool valid() const { return book != nullptr && index > 0; }
};

struct SessionState {
    int16_t PickCategory = 0; // 0 name list, 1 number, 2 row-column
    int16_t FirstShow = 0;
    QString RollBookName;
    QString RollBookPath;
    int16_t ClassIndex = 0;
    QString TodayLabel; // "MM月dd"
    int16_t RosterCount = 0;
    int16_t CurrentGroup = 0;
    int16_t CurrentMember = 0;
    QString PickKey;
    QString PickText;
    CellTable2 RosterTable; // 0..RosterCount x 0..3
    CellTable3 GroupTable;  // group x slot x field
    CellTable2 PickPool;    // 0..RosterCount x 0..2 (0..3 from number lists)
    int16_t PickIndex = 0;
    int16_t PoolCount = 0;
    std::vector<int16_t> GroupDrawList;
    int16_t RangeVal2 = 0;
    int16_t RangeVal1 = 0;
    int16_t RowScan = 0;
    int16_t ScoreColumn = 0;
    std::unique_ptr<workbook::Application> ExcelApp;
    workbook::Workbook* ExcelBook = nullptr; // owned by ExcelApp
    SheetRef ExcelSheet;
    int16_t GroupCount = 0;
    int16_t GroupSize = 0;
};

} // namespace rostrel
