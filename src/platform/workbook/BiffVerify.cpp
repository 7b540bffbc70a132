// Reading a rewritten workbook stream back before it is saved: a save that would not read back
// as the old cells with the edits applied is refused.
#include "platform/workbook/Biff.h"
#include "platform/workbook/BiffRecords.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace rostrel::workbook::xls {

// The records of a sheet that was copied, in the old stream and the new one. Throws Damaged
// when the old sheet is cut short; returns the first difference, or "".
std::string Book::compareCopiedSheet(int sheet, const Book& check) const {
    const SheetEntry& mine = worksheets_[sheet];
    const uint32_t end = walkSubstream(stream_, mine.bofPos, sheetLimit_[sheet], mine.name, [](const Rec&, int) {});
    uint32_t b = check.worksheets_[sheet].bofPos;
    for (uint32_t a = mine.bofPos; a < end;) {
        Rec ra, rb;
        recordAt(stream_, a, ra);
        if (!recordAt(check.stream_, b, rb) || ra.type != rb.type || ra.len != rb.len ||
            (ra.type != rt::INDEX && ra.len && std::memcmp(ra.data, rb.data, ra.len) != 0))
            return "sheet \"" + mine.name + "\" was not copied as it was";
        a += 4 + ra.len;
        b += 4 + rb.len;
    }
    if (b > check.sheetLimit_[sheet])
        return "sheet \"" + mine.name + "\" runs into the next one";
    return {};
}

// Reads the new stream back before it goes anywhere: the same sheets, in every sheet read or
// edited exactly the old cells with the edits applied, and every other sheet copied record for
// record. Sheets are parsed one at a time and dropped, except the edited ones, which the book
// read back keeps for the reads after the save. A mismatch is a fault of the writer, and the save is refused instead of
// damaging the roll book; a sheet cut short in the old file is refused as damaged.
std::unique_ptr<Book> Book::verify(const Bytes& out) const {
    auto fail = [](const std::string& what) {
        throw WorkbookError(WorkbookError::Code::Unsupported,
                            "the workbook cannot be saved: the rewritten file did not read back (" + what + ")");
    };
    std::unique_ptr<Book> check;
    try {
        check = std::make_unique<Book>(out);
    } catch (const WorkbookError& e) {
        fail(e.what());
    }
    if (check->worksheets_.size() != worksheets_.size() || check->sst_.size() < sst_.size())
        fail("sheets or strings differ");
    for (size_t i = 0; i < worksheets_.size(); ++i) {
        if (check->worksheets_[i].name != worksheets_[i].name)
            fail("sheet names differ");
        const int sheet = static_cast<int>(i);
        if (!sheets_[i]) {
            // Never read, so never edited: it was copied, and must have come out record for
            // record as it was (INDEX offsets move with the sheet). Parsing every sheet of a
            // large book here would cost more than the save itself.
            if (const std::string diff = compareCopiedSheet(sheet, *check); !diff.empty())
                fail(diff);
            continue;
        }
        std::unique_ptr<SheetCells> parsed;
        try {
            parsed = check->parseSheet(sheet);
        } catch (const WorkbookError& e) {
            fail(e.what());
        }
        const SheetCells* mine = sheets_[i].get();
        const SheetCells& theirs = *parsed;
        const size_t rows = std::max(mine->rows.size(), theirs.rows.size());
        std::vector<uint16_t> cols;
        for (size_t r = 0; r < rows; ++r) {
            cols.clear();
            for (const SheetCells* sc : {mine, &theirs})
                if (r < sc->rows.size())
                    for (const auto& x : sc->rows[r])
                        cols.push_back(x.col);
            for (const auto& [key, v] : edits_[i].cells)
                if ((key >> 8) == r)
                    cols.push_back(static_cast<uint16_t>(key & 0xFF));
            std::sort(cols.begin(), cols.end());
            cols.erase(std::unique(cols.begin(), cols.end()), cols.end());
            for (uint16_t c : cols) {
                if (c > 255)
                    continue;
                CellValue want = cell(sheet, static_cast<int>(r), c);
                CellValue got = check->valueOf(theirs, static_cast<int>(r), c);
                if (want.kind == CellValue::Kind::Number && got.kind == CellValue::Kind::Date)
                    got.kind = CellValue::Kind::Number; // a number written into a date cell
                if (want.kind == CellValue::Kind::Date && got.kind == CellValue::Kind::Number && dateXf() == UINT32_MAX)
                    got.kind = CellValue::Kind::Date; // no date format in the workbook to give it
                if (!(want == got) && !(want.kind == got.kind && want.kind != CellValue::Kind::Text &&
                                        want.number != want.number && got.number != got.number))
                    fail("cell " + std::to_string(r + 1) + "," + std::to_string(c + 1) + " differs");
            }
        }
        if (!edits_[i].cells.empty())
            check->sheets_[i] = std::move(parsed); // the sheet written is the one read next
    }
    return check;
}

} // namespace rostrel::workbook::xls
