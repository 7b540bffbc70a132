// Writing a BIFF8 workbook stream back with edited cells. Every record that is not an edited
// cell is copied byte for byte; the records that describe the cell table (ROW, DBCELL, INDEX,
// DIMENSIONS) of an edited sheet, the shared string table when it grows, and the offsets that
// point into the stream (BOUNDSHEET, INDEX, EXTSST) are rebuilt.
// The steps are split over BiffWriteStrings.cpp, BiffSheetRebuild.cpp and BiffCellTable.cpp;
// BiffVerify.cpp reads the result back. This file runs them and writes the globals.
#include "platform/workbook/BiffDetail.h"
#include "platform/workbook/BiffWriter.h"

#include <algorithm>

namespace rostrel::workbook::xls {

namespace detail {

[[noreturn]] void refuse(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Unsupported, "the workbook cannot be saved: " + what);
}

} // namespace detail

using detail::damaged;
using detail::putRecord;
using detail::refuse;

uint32_t Writer::mapPos(uint32_t oldPos) const {
    auto it = std::upper_bound(map_.begin(), map_.end(), std::make_pair(oldPos, UINT32_MAX));
    if (it == map_.begin())
        return oldPos;
    --it;
    return it->second + (oldPos - it->first);
}

Bytes Writer::run() {
    assignStrings();
    dateXf_ = b_.dateXf();
    planDateXf();
    out_.reserve(s_.size() + 4096);
    emitGlobals();
    emitSheets();
    fixOffsets();
    if (out_.size() > 0xFFFFFFFFull)
        refuse("the workbook grows too large");
    return std::move(out_);
}

// A date written into a workbook that has no date format at all would read back as a plain
// number: such a workbook gets one cell format more, a copy of the default cell format showing
// the built-in date format 14, appended after the others so that no index moves.
void Writer::planDateXf() {
    if (dateXf_ != UINT32_MAX || b_.biff_ != 8 || b_.xfPos_.empty() || b_.xfPos_.size() >= 4050)
        return;
    bool wantsDate = false;
    for (const auto& e : b_.edits_)
        for (const auto& [key, v] : e.cells)
            wantsDate = wantsDate || v.kind == CellValue::Kind::Date;
    if (!wantsDate)
        return;
    // XF 15 is the default cell format in every writer's workbooks; else the first cell format.
    uint32_t model = b_.xfPos_.size() > 15 && b_.xfIsCell_[15] ? 15 : UINT32_MAX;
    for (uint32_t i = 0; i < b_.xfPos_.size() && model == UINT32_MAX; ++i)
        if (b_.xfIsCell_[i])
            model = i;
    Rec r;
    if (model == UINT32_MAX || !recordAt(s_, b_.xfPos_[model], r) || r.len < 20)
        return;
    newXf_.assign(r.data, r.data + r.len);
    wr16(&newXf_[2], 14);
    newXf_[9] |= 0x04; // the number format is this cell format's own, not its style's
    Rec last;
    recordAt(s_, b_.xfPos_.back(), last);
    newXfAt_ = b_.xfPos_.back() + 4 + last.len;
    dateXf_ = static_cast<uint32_t>(b_.xfPos_.size());
}

void Writer::emitGlobals() {
    const bool grow = !newStrings_.empty();
    const bool edited = b_.hasEdits();
    for (uint32_t pos = 0; pos < b_.globalsEnd_;) {
        Rec r;
        recordAt(s_, pos, r);
        if (!newXf_.empty() && pos == newXfAt_)
            putRecord(out_, rt::XF, newXf_);
        if (b_.hasSst_ && pos == b_.sstPos_) {
            if (grow) {
                emitSst(b_.sstEnd_);
                if (!b_.extSstPos_)
                    emitExtSst();
            } else {
                sstHeaderPos_ = static_cast<long>(out_.size());
                for (uint32_t p = pos; p < b_.sstEnd_;) {
                    Rec c;
                    recordAt(s_, p, c);
                    mapRecord(p);
                    copy(p, 4 + c.len);
                    p += 4 + c.len;
                }
            }
            pos = b_.sstEnd_;
            continue;
        }
        if (grow && b_.extSstPos_ && pos == b_.extSstPos_) {
            mapRecord(pos);
            emitExtSst();
            pos += 4 + r.len;
            continue;
        }
        if (grow && !b_.hasSst_ && pos == b_.globalsEofPos_)
            emitNewSst();
        mapRecord(pos);
        copy(pos, 4 + r.len);
        if (edited && r.type == rt::RECALCID)
            markForRecalculation(&out_[out_.size() - r.len], r.len);
        pos += 4 + r.len;
    }
}

// The sheets and whatever else follows the globals: edited sheets rebuilt, the rest copied.
void Writer::emitSheets() {
    std::unordered_map<uint32_t, int> rebuild; // BOF position -> worksheet index
    for (size_t i = 0; i < b_.worksheets_.size(); ++i)
        if (!b_.edits_[i].cells.empty())
            rebuild.emplace(b_.worksheets_[i].bofPos, static_cast<int>(i));
    size_t rebuilt = 0;
    uint32_t pos = b_.globalsEnd_;
    while (pos < s_.size()) {
        auto it = rebuild.find(pos);
        if (it != rebuild.end()) {
            pos = rebuildSheet(it->second);
            ++rebuilt;
            continue;
        }
        Rec r;
        if (!recordAt(s_, pos, r)) {
            copy(pos, static_cast<uint32_t>(s_.size() - pos)); // trailing bytes
            break;
        }
        mapRecord(pos);
        const long long delta = static_cast<long long>(out_.size()) - pos;
        copy(pos, 4 + r.len);
        if (r.type == rt::INDEX && r.len >= 16 && delta != 0) {
            // A sheet copied whole moves as one: its absolute offsets move with it.
            uint8_t* d = &out_[out_.size() - r.len];
            auto shift = [&](uint8_t* p) {
                const uint32_t v = rd32(p);
                if (v)
                    wr32(p, static_cast<uint32_t>(v + delta));
            };
            shift(d + 12);
            for (uint32_t k = 16; k + 4 <= r.len; k += 4)
                shift(d + k);
        }
        pos += 4 + r.len;
    }
    if (rebuilt != rebuild.size())
        damaged("a sheet does not start at a record boundary");
}

// BOUNDSHEET positions and the string table's reference count.
void Writer::fixOffsets() {
    std::sort(map_.begin(), map_.end());
    for (const SheetEntry& e : b_.allSheets_) {
        const uint32_t recPos = mapPos(e.boundsheetPos);
        wr32(&out_[recPos + 4], mapPos(e.bofPos));
    }
    if (sstHeaderPos_ >= 0 && (refDelta_ != 0 || !newStrings_.empty())) {
        long long total = rd32(&out_[sstHeaderPos_ + 4]) + refDelta_;
        wr32(&out_[sstHeaderPos_ + 4], static_cast<uint32_t>(std::clamp<long long>(total, 0, UINT32_MAX)));
    }
}

Bytes Book::serialize(std::unique_ptr<Book>* readBack) const {
    if (biff_ != 8)
        throw WorkbookError(WorkbookError::Code::OldFormat, "the workbook uses an old Excel format and is not changed");
    Writer w(*this);
    Bytes out = w.run();
    std::unique_ptr<Book> check = verify(out);
    if (readBack)
        *readBack = std::move(check);
    return out;
}

} // namespace rostrel::workbook::xls
