// Feeds arbitrary bytes to the .ods codec, twice: as a whole package (open, read every cell,
// write into each sheet, save in memory) and as the content.xml of a package (read, edit,
// read the edited text back). Any outcome but a WorkbookError or success is a fault.
#include "platform/workbook/OdsCodec.h"
#include "platform/workbook/OdsContent.h"
#include "platform/workbook/OdsEdit.h"

#include <cstddef>
#include <cstdint>

using namespace rostrel::workbook;

namespace {

// A repeated run can stand for billions of cells: reading stops after this many.
constexpr long kMaxVisits = 1 << 20;
struct Enough {};

void package(const uint8_t* data, size_t size) {
    try {
        auto codec = openOdsCodec(FileBytes(data, data + size));
        for (int s = 1; s <= codec->sheetCount(); ++s) {
            long visits = 0;
            int lastRow = 0;
            try {
                codec->forEachCell(s, [&](int r, int, const CellValue&) {
                    lastRow = r;
                    if (++visits > kMaxVisits)
                        throw Enough{};
                });
            } catch (const Enough&) {
            }
            try {
                codec->setCell(s, 1, 1, CellValue::fromNumber(1.5));
                codec->setCell(s, lastRow + 1, 4, CellValue::fromText("新 <&> "));
            } catch (const WorkbookError&) {
            }
        }
        (void)codec->serialize();
    } catch (const WorkbookError&) {
    }
}

void content(const uint8_t* data, size_t size) {
    try {
        const ods::Content doc = ods::parseContent(data, size);
        std::map<int, ods::SheetEdits> edits;
        for (size_t t = 0; t < doc.tables.size() && t < 4; ++t) {
            const ods::Table& table = doc.tables[t];
            const int last = table.rows.empty() ? 1 : table.rows.back().row;
            edits[static_cast<int>(t)][{1, 1}] = CellValue::fromNumber(2);
            edits[static_cast<int>(t)][{last, 3}] = CellValue::fromText(" a  b ");
            edits[static_cast<int>(t)][{last + 2, 2}] = CellValue::fromDate(46095.5);
        }
        const FileBytes out = ods::applyEdits(data, size, doc, edits);
        (void)ods::parseContent(out.data(), out.size());
    } catch (const WorkbookError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    package(data, size);
    content(data, size);
    return 0;
}
