// Feeds arbitrary bytes to the .xls engine as a file: open, read every cell of every sheet,
// then write a number and a text into each sheet and build the saved file in memory. Any
// outcome but a WorkbookError or success is a fault.
#include "platform/workbook/Engine.h"

#include <cstddef>
#include <cstdint>

using namespace rostrel::workbook;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        LoadedFile file = loadXls(data, size);
        xls::Book& book = *file.book;
        const int sheets = static_cast<int>(book.worksheets().size());
        for (int s = 0; s < sheets; ++s) {
            try {
                const xls::SheetCells& cells = book.sheetCells(s);
                for (size_t r = 0; r < cells.rows.size(); ++r)
                    for (const auto& c : cells.rows[r])
                        (void)book.cell(s, static_cast<int>(r), c.col);
                book.setCell(s, 0, 0, CellValue::fromNumber(1.5));
                book.setCell(s, static_cast<int>(cells.rows.size()), 3, CellValue::fromText("新"));
            } catch (const WorkbookError&) {
            }
        }
        try {
            (void)saveXls(file);
        } catch (const WorkbookError&) {
        }
    } catch (const WorkbookError&) {
    }
    return 0;
}
