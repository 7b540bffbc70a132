// Feeds arbitrary bytes to the .xlsx codec as a file: open, read every cell of every sheet,
// then write a number and a text into each sheet and build the saved file in memory, twice,
// keeping the codec's state across the saves as the program does. Any outcome but a
// WorkbookError or success is a fault, and so is a saved file whose cells differ from what
// the codec holds after the save.
#include "platform/workbook/OoxmlCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

using namespace rostrel::workbook;

namespace {

// Every cell of a sheet, or nothing with `failed` set when the sheet does not read.
std::vector<std::tuple<int, int, CellValue>> cellsOf(const Codec& codec, int sheet, bool& failed) {
    std::vector<std::tuple<int, int, CellValue>> out;
    failed = false;
    try {
        codec.forEachCell(sheet, [&](int r, int c, const CellValue& v) { out.emplace_back(r, c, v); });
    } catch (const WorkbookError&) {
        failed = true;
        out.clear();
    }
    return out;
}

// Equal cells, a NaN read from the file equal to itself.
bool same(const std::vector<std::tuple<int, int, CellValue>>& a,
          const std::vector<std::tuple<int, int, CellValue>>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto& [ra, ca, va] = a[i];
        const auto& [rb, cb, vb] = b[i];
        if (ra != rb || ca != cb || va.kind != vb.kind || va.text != vb.text || va.boolean != vb.boolean ||
            va.error != vb.error || std::memcmp(&va.number, &vb.number, sizeof va.number) != 0)
            return false;
    }
    return true;
}

// Edits each sheet; returns the saved file, or nothing when the save was refused.
bool editAndSave(OoxmlCodec& codec, int round, FileBytes& out) {
    for (int s = 1; s <= codec.sheetCount(); ++s) {
        try {
            int last = 0;
            codec.forEachCell(s, [&](int r, int, const CellValue&) { last = r; });
            codec.setCell(s, 1 + round, 1, CellValue::fromNumber(1.5 + round));
            codec.setCell(s, last + 1, 3 + round, CellValue::fromText(round ? "新" : "旧"));
        } catch (const WorkbookError&) {
        }
    }
    try {
        out = codec.serialize();
        codec.markSaved();
        return true;
    } catch (const WorkbookError&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        OoxmlCodec codec(FileBytes(data, data + size));
        for (int round = 0; round < 2; ++round) {
            FileBytes out;
            if (!editAndSave(codec, round, out))
                break;
            // What was saved was checked: it reads, and as the codec now holds it.
            std::unique_ptr<OoxmlCodec> fresh;
            try {
                fresh = std::make_unique<OoxmlCodec>(out);
            } catch (const WorkbookError&) {
                std::abort();
            }
            if (fresh->sheetCount() != codec.sheetCount())
                std::abort();
            for (int s = 1; s <= codec.sheetCount(); ++s) {
                bool failedHere = false, failedThere = false;
                if (!same(cellsOf(codec, s, failedHere), cellsOf(*fresh, s, failedThere)) || failedHere != failedThere)
                    std::abort();
            }
        }
    } catch (const WorkbookError&) {
    }
    return 0;
}
