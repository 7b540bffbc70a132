// What both fuzz targets do with a file: open it, read the cells of its first sheets, write a
// number and a text into each, and build the saved file in memory. Any outcome but a
// WorkbookError or success is a fault.
#pragma once

#include "platform/workbook/Engine.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace rostrel::fuzz {

inline void exerciseXls(const uint8_t* data, size_t size) {
    using namespace rostrel::workbook;
    try {
        LoadedFile file = loadXls(data, size);
        xls::Book& book = *file.book;
        // Each parsed sheet stays in memory; a file of many sheets is not a fault in itself.
        const int sheets = std::min(static_cast<int>(book.worksheets().size()), 64);
        for (int s = 0; s < sheets; ++s) {
            try {
                const xls::SheetCells& cells = book.sheetCells(s);
                for (size_t r = 0; r < cells.rows.size(); ++r)
                    for (const auto& c : cells.rows[r])
                        (void)book.cell(s, static_cast<int>(r), c.col);
                book.setCell(s, 0, 0, CellValue::fromNumber(1.5));
                book.setCell(s, static_cast<int>(std::min<size_t>(cells.rows.size(), 65535)), 3,
                             CellValue::fromText("新"));
            } catch (const WorkbookError&) {
            }
        }
        try {
            (void)saveXls(file);
        } catch (const WorkbookError&) {
        }
    } catch (const WorkbookError&) {
    }
}

} // namespace rostrel::fuzz
