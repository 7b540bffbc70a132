// The workbook globals of a BIFF8 (or BIFF5/7) stream: version, code page, number formats and
// cell formats, the sheet list and where each sheet's substream ends, and the shared strings.
#include "platform/workbook/Biff.h"
#include "platform/workbook/BiffDetail.h"
#include "platform/workbook/BiffRecords.h"

#include <algorithm>

namespace rostrel::workbook::xls {

using detail::damaged;

Book::Book(Bytes stream) : stream_(std::move(stream)) {
    parseGlobals();
}

void Book::parseGlobals() {
    Rec r;
    if (!recordAt(stream_, 0, r))
        damaged("no records");
    if (r.type == 0x0009 || r.type == 0x0209 || r.type == 0x0409)
        throw WorkbookError(WorkbookError::Code::OldFormat, "the workbook uses an old Excel format (BIFF2-4)");
    if (r.type != rt::BOF || r.len < 4)
        damaged("no BOF record at the start of the workbook stream");
    const uint16_t version = rd16(r.data);
    if (version == 0x0600)
        biff_ = 8;
    else if (version == 0x0500)
        biff_ = 5;
    else if (version < 0x0500 && version != 0)
        throw WorkbookError(WorkbookError::Code::OldFormat, "the workbook uses an old Excel format");
    else
        biff_ = 8;
    if (rd16(r.data + 2) != 0x0005)
        damaged("the workbook stream does not start with workbook globals");

    std::map<uint16_t, bool> formats;
    std::vector<size_t> sstRecs;
    uint32_t pos = 4 + r.len;
    bool sawEof = false;
    bool inSst = false;
    while (recordAt(stream_, pos, r)) {
        const uint32_t next = pos + 4 + r.len;
        if (inSst && r.type != rt::CONTINUE) {
            inSst = false;
            sstEnd_ = pos;
        }
        switch (r.type) {
        case rt::FILEPASS:
            throw WorkbookError(WorkbookError::Code::Encrypted, "the workbook is encrypted (password protected)");
        case rt::CODEPAGE:
            if (r.len >= 2)
                codePage_ = rd16(r.data);
            break;
        case rt::FORMAT:
            if (r.len >= 2) {
                std::string text;
                const bool ok = readShortString(r.data + 2, r.len - 2, biff_ == 8 ? 2 : 1, text);
                if (ok)
                    formats[rd16(r.data)] = isDateFormatString(text);
            }
            break;
        case rt::XF:
            if (r.len >= 6) {
                xfFormat_.push_back(rd16(r.data + 2));
                xfIsCell_.push_back((rd16(r.data + 4) & 0x0004) == 0);
                xfPos_.push_back(pos);
            }
            break;
        case rt::BOUNDSHEET:
            if (r.len >= 7) {
                SheetEntry e;
                e.bofPos = rd32(r.data);
                e.type = r.data[5];
                e.boundsheetPos = pos;
                if (!readShortString(r.data + 6, r.len - 6, 1, e.name))
                    damaged("a sheet name is cut short");
                allSheets_.push_back(e);
                if (e.type == 0)
                    worksheets_.push_back(e);
            }
            break;
        case rt::SST:
            if (biff_ == 8 && !hasSst_) {
                hasSst_ = true;
                sstPos_ = pos;
                inSst = true;
                sstRecs.push_back(pos);
            }
            break;
        case rt::CONTINUE:
            if (inSst)
                sstRecs.push_back(pos);
            break;
        case rt::EXTSST:
            if (!extSstPos_)
                extSstPos_ = pos;
            break;
        default:
            break;
        }
        if (r.type == rt::EOF_) {
            sawEof = true;
            globalsEofPos_ = pos;
            globalsEnd_ = next;
            break;
        }
        pos = next;
    }
    if (!sawEof)
        damaged("the workbook globals are cut short");
    if (inSst)
        sstEnd_ = globalsEofPos_;

    xfIsDate_.resize(xfFormat_.size());
    for (size_t i = 0; i < xfFormat_.size(); ++i) {
        const uint16_t f = xfFormat_[i];
        auto it = formats.find(f);
        xfIsDate_[i] = it != formats.end() ? it->second : isBuiltinDateFormat(f);
    }
    if (hasSst_)
        parseSst(sstRecs);
    findSheetLimits();
    sheets_.resize(worksheets_.size());
    edits_.resize(worksheets_.size());
}

// Each sheet's substream ends where the next one begins (or at the end of the stream). Two
// sheets at one offset are refused: every sheet read or checked would read the same records
// again, so a small file could ask for any amount of memory and time.
void Book::findSheetLimits() {
    std::vector<uint32_t> starts;
    starts.reserve(allSheets_.size());
    for (const SheetEntry& e : allSheets_)
        starts.push_back(e.bofPos);
    std::sort(starts.begin(), starts.end());
    if (std::adjacent_find(starts.begin(), starts.end()) != starts.end())
        damaged("two sheets point at the same place in the workbook stream");
    sheetLimit_.clear();
    for (const SheetEntry& e : worksheets_) {
        auto next = std::upper_bound(starts.begin(), starts.end(), e.bofPos);
        sheetLimit_.push_back(next == starts.end() ? static_cast<uint32_t>(stream_.size()) : *next);
    }
}

void Book::parseSst(const std::vector<size_t>& recIdx) {
    std::vector<ContinuedReader::Segment> segs;
    for (size_t pos : recIdx) {
        Rec r;
        recordAt(stream_, static_cast<uint32_t>(pos), r);
        segs.push_back({static_cast<uint32_t>(pos + 4), r.len});
    }
    if (segs.front().len < 8)
        damaged("the shared string table is cut short");
    const uint32_t unique = rd32(stream_.data() + segs.front().dataPos + 4);
    ContinuedReader rd(stream_.data(), segs);
    rd.skip(8);
    // Never trust the count for the allocation: each string needs at least 3 bytes.
    sst_.reserve(std::min<size_t>(unique, stream_.size() / 3));
    bool clean = true;
    std::string text;
    for (uint32_t i = 0; i < unique; ++i) {
        rd.normalize();
        SstEntry e;
        e.streamPos = rd.streamPos();
        e.recordPos = rd.recordPos();
        if (!readRichString(rd, text, &e.plain)) {
            clean = false; // a count larger than the strings present: keep what was read
            break;
        }
        if (sstText_.size() + text.size() > UINT32_MAX)
            damaged("the shared string table is too large");
        e.textPos = static_cast<uint32_t>(sstText_.size());
        e.textLen = static_cast<uint32_t>(text.size());
        sstText_ += text;
        sst_.push_back(e);
    }
    sstClean_ = clean && rd.atEnd();
}

uint32_t Book::dateXf() const {
    uint32_t best = UINT32_MAX;
    for (uint32_t i = 0; i < xfIsDate_.size(); ++i) {
        if (!xfIsDate_[i] || !xfIsCell_[i])
            continue;
        if (xfFormat_[i] == 14)
            return i;
        if (best == UINT32_MAX)
            best = i;
    }
    return best;
}

} // namespace rostrel::workbook::xls
