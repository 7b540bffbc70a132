// Feeds arbitrary bytes to the .xlsx codec as a file: open, read every cell of every sheet,
// then write a number and a text into each sheet and build the saved file in memory. Any
// outcome but a WorkbookError or success is a fault.
#include "platform/workbook/OoxmlCodec.h"

#include <cstddef>
#include <cstdint>

using namespace rostrel::workbook;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        OoxmlCodec codec(FileBytes(data, data + size));
        for (int s = 1; s <= codec.sheetCount(); ++s) {
            try {
                int last = 0;
                codec.forEachCell(s, [&](int r, int, const CellValue&) { last = r; });
                codec.setCell(s, 1, 1, CellValue::fromNumber(1.5));
                codec.setCell(s, last + 1, 3, CellValue::fromText("新"));
            } catch (const WorkbookError&) {
            }
        }
        try {
            (void)codec.serialize();
        } catch (const WorkbookError&) {
        }
    } catch (const WorkbookError&) {
    }
    return 0;
}
