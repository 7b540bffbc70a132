// Reading the BIFF8 (and BIFF5/7) workbook stream: globals, shared strings, formats, cells.
#include "platform/workbook/Biff.h"
#include "platform/workbook/BiffDetail.h"
#include "platform/workbook/BiffRecords.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>

namespace rostrel::workbook::xls {

namespace detail {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the workbook is damaged: " + what);
}

} // namespace detail

using detail::damaged;

namespace {

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// UTF-16 code units to UTF-8; a lone surrogate becomes U+FFFD.
std::string utf16ToUtf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            u = 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        appendUtf8(out, u);
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// A reader over a record and its CONTINUE records, as strings that run across them need.

bool ContinuedReader::advance() {
    while (seg_ < segs_.size() && off_ >= segs_[seg_].len) {
        if (seg_ + 1 >= segs_.size())
            return false;
        ++seg_;
        off_ = 0;
    }
    return seg_ < segs_.size();
}

bool ContinuedReader::u8(uint8_t& v) {
    if (!advance())
        return false;
    v = data_[segs_[seg_].dataPos + off_];
    ++off_;
    return true;
}
bool ContinuedReader::u16(uint16_t& v) {
    uint8_t a, b;
    if (!u8(a) || !u8(b))
        return false;
    v = static_cast<uint16_t>(a | (b << 8));
    return true;
}
bool ContinuedReader::u32(uint32_t& v) {
    uint16_t a, b;
    if (!u16(a) || !u16(b))
        return false;
    v = static_cast<uint32_t>(a) | (static_cast<uint32_t>(b) << 16);
    return true;
}
bool ContinuedReader::skip(uint64_t n) {
    while (n > 0) {
        if (!advance())
            return false;
        const uint64_t here = std::min<uint64_t>(n, segs_[seg_].len - off_);
        off_ += static_cast<uint32_t>(here);
        n -= here;
    }
    return true;
}
bool ContinuedReader::chars(uint32_t count, bool wide, std::u16string& out) {
    out.reserve(out.size() + count);
    while (count > 0) {
        if (off_ >= segs_[seg_].len) {
            // Character data resumes in the next CONTINUE with a fresh flag byte.
            if (seg_ + 1 >= segs_.size())
                return false;
            ++seg_;
            if (segs_[seg_].len == 0)
                return false;
            wide = (data_[segs_[seg_].dataPos] & 0x01) != 0;
            off_ = 1;
        }
        const Segment& s = segs_[seg_];
        const uint8_t* p = data_ + s.dataPos + off_;
        const uint32_t avail = s.len - off_;
        if (wide) {
            const uint32_t n = std::min<uint32_t>(count, avail / 2);
            if (n == 0)
                return false; // half a UTF-16 unit at the end of a record
            for (uint32_t i = 0; i < n; ++i)
                out.push_back(static_cast<char16_t>(rd16(p + 2 * i)));
            off_ += 2 * n;
            count -= n;
        } else {
            const uint32_t n = std::min<uint32_t>(count, avail);
            for (uint32_t i = 0; i < n; ++i)
                out.push_back(static_cast<char16_t>(p[i]));
            off_ += n;
            count -= n;
        }
    }
    return true;
}
void ContinuedReader::normalize() {
    advance();
}
uint32_t ContinuedReader::streamPos() const {
    return seg_ < segs_.size() ? segs_[seg_].dataPos + off_ : 0;
}
uint32_t ContinuedReader::recordPos() const {
    return seg_ < segs_.size() ? segs_[seg_].dataPos - 4 : 0;
}
bool ContinuedReader::atEnd() const {
    if (seg_ >= segs_.size())
        return true;
    if (off_ < segs_[seg_].len)
        return false;
    for (size_t i = seg_ + 1; i < segs_.size(); ++i)
        if (segs_[i].len > 0)
            return false;
    return true;
}

// Reads an XLUnicodeRichExtendedString (BIFF8) at the reader's position.
bool readRichString(ContinuedReader& r, std::string& text, bool* plain) {
    uint16_t cch;
    uint8_t flags;
    if (!r.u16(cch) || !r.u8(flags))
        return false;
    uint16_t runs = 0;
    uint32_t phonetic = 0;
    if ((flags & 0x08) && !r.u16(runs))
        return false;
    if ((flags & 0x04) && !r.u32(phonetic))
        return false;
    std::u16string units;
    if (!r.chars(cch, (flags & 0x01) != 0, units))
        return false;
    if (!r.skip(4ull * runs + phonetic))
        return false;
    text = utf16ToUtf8(units);
    if (plain)
        *plain = (flags & 0x0C) == 0;
    return true;
}

// ---------------------------------------------------------------------------------------------

bool recordAt(const Bytes& s, uint32_t pos, Rec& r) {
    if (pos > s.size() || s.size() - pos < 4)
        return false;
    r.type = rd16(&s[pos]);
    r.len = rd16(&s[pos + 2]);
    r.pos = pos;
    if (s.size() - pos - 4 < r.len)
        return false;
    r.data = s.data() + pos + 4;
    return true;
}

bool isBuiltinDateFormat(uint16_t f) {
    return (f >= 14 && f <= 22) || (f >= 27 && f <= 36) || (f >= 45 && f <= 47) || (f >= 50 && f <= 58) ||
           (f >= 71 && f <= 81);
}

const char* errorText(uint8_t code) {
    switch (code) {
    case 0x00:
        return "#NULL!";
    case 0x07:
        return "#DIV/0!";
    case 0x0F:
        return "#VALUE!";
    case 0x17:
        return "#REF!";
    case 0x1D:
        return "#NAME?";
    case 0x24:
        return "#NUM!";
    case 0x2A:
        return "#N/A";
    case 0x2B:
        return "#GETTING_DATA";
    default:
        return "";
    }
}

// A format shows a date when, outside quoted text, escaped characters and [brackets], it has
// date or time codes (y m d h s) and no digit placeholders (0 # ?), or more date codes than
// digit placeholders.
bool isDateFormatString(const std::string& fmt) {
    std::string s;
    int state = 0;
    for (char c : fmt) {
        if (state == 0) {
            if (c == '"')
                state = 1;
            else if (c == '\\' || c == '_' || c == '*')
                state = 2;
            else if (std::string_view("$-+/(): ").find(c) == std::string_view::npos)
                s.push_back(c);
        } else if (state == 1) {
            if (c == '"')
                state = 0;
        } else {
            state = 0;
        }
    }
    std::string t;
    int depth = 0;
    for (char c : s) {
        if (c == '[')
            ++depth;
        else if (c == ']' && depth > 0)
            --depth;
        else if (depth == 0)
            t.push_back(c);
    }
    // A "[" never closed leaves its text out too, as does a reader that strips brackets.
    if (t == "0.00E+00" || t == "##0.0E+0" || t == "General" || t == "GENERAL" || t == "general" || t == "@")
        return false;
    int dates = 0, nums = 0;
    for (char c : t) {
        if (std::string_view("ymdhsYMDHS").find(c) != std::string_view::npos)
            dates += 5;
        else if (c == '0' || c == '#' || c == '?')
            nums += 5;
    }
    if (dates && !nums)
        return true;
    if (nums && !dates)
        return false;
    return dates > nums;
}

// ---------------------------------------------------------------------------------------------

Book::Book(Bytes stream) : stream_(std::move(stream)) {
    parseGlobals();
}

std::string Book::decode8(const uint8_t* p, size_t n) const {
    std::string out;
    bool ascii = true;
    for (size_t i = 0; i < n; ++i)
        ascii = ascii && p[i] < 0x80;
    if (ascii)
        return std::string(reinterpret_cast<const char*>(p), n);
    const char* charset = nullptr;
    char name[16];
    switch (codePage_) {
    case 367:
        charset = "ASCII";
        break;
    case 1200:
        charset = "UTF-16LE";
        break;
    case 10000:
    case 32768:
        charset = "MACINTOSH";
        break;
    case 32769:
    case 1252:
        charset = "CP1252";
        break;
    default:
        std::snprintf(name, sizeof name, "CP%d", codePage_);
        charset = name;
    }
    gsize written = 0;
    gchar* conv = g_convert(reinterpret_cast<const gchar*>(p), static_cast<gssize>(n), "UTF-8", charset, nullptr,
                            &written, nullptr);
    if (conv) {
        out.assign(conv, written);
        g_free(conv);
        return out;
    }
    for (size_t i = 0; i < n; ++i) // unknown code page: Latin-1
        appendUtf8(out, p[i]);
    return out;
}

// A byte-counted or character-counted string inside one record (BIFF8 flags byte, or BIFF5
// 8-bit text). `lenBytes` is the size of the count field.
bool Book::readShortString(const uint8_t* p, size_t avail, int lenBytes, std::string& out) const {
    if (avail < static_cast<size_t>(lenBytes))
        return false;
    const uint32_t cch = lenBytes == 1 ? p[0] : rd16(p);
    p += lenBytes;
    avail -= lenBytes;
    if (biff_ == 5) {
        if (avail < cch)
            return false;
        out = decode8(p, cch);
        return true;
    }
    if (avail < 1)
        return false;
    const uint8_t flags = p[0];
    ++p;
    --avail;
    if (flags & 0x08) { // rich-text run count
        if (avail < 2)
            return false;
        p += 2;
        avail -= 2;
    }
    if (flags & 0x04) { // phonetic size
        if (avail < 4)
            return false;
        p += 4;
        avail -= 4;
    }
    std::u16string units;
    if (flags & 0x01) {
        if (avail < 2ull * cch)
            return false;
        for (uint32_t i = 0; i < cch; ++i)
            units.push_back(static_cast<char16_t>(rd16(p + 2 * i)));
    } else {
        if (avail < cch)
            return false;
        for (uint32_t i = 0; i < cch; ++i)
            units.push_back(static_cast<char16_t>(p[i]));
    }
    out = utf16ToUtf8(units);
    return true;
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

// ---------------------------------------------------------------------------------------------

const SheetCells& Book::sheetCells(int sheet) const {
    if (sheet < 0 || sheet >= static_cast<int>(worksheets_.size()))
        throw WorkbookError(WorkbookError::Code::NoSuchSheet, "no such sheet");
    if (!sheets_[sheet])
        sheets_[sheet] = parseSheet(sheet);
    return *sheets_[sheet];
}

std::unique_ptr<SheetCells> Book::parseSheet(int sheet) const {
    auto cells = std::make_unique<SheetCells>();
    const SheetEntry& entry = worksheets_[sheet];
    Rec r;
    if (entry.bofPos < globalsEnd_ || !recordAt(stream_, entry.bofPos, r) || r.type != rt::BOF || r.len < 4)
        damaged("sheet \"" + entry.name + "\" does not start where the workbook says");
    if (rd16(r.data + 2) != 0x0010) {
        // A dialog, macro or chart sheet listed as a worksheet: no cells, and none written.
        cells->locked.push_back({0, 0xFFFF, 0, 0xFFFF});
        return cells;
    }
    SheetParser parser(*this, *cells);
    walkSubstream(stream_, entry.bofPos, sheetLimit_[sheet], entry.name, [&](const Rec& rec, int depth) {
        if (depth == 1 && rec.type != rt::BOF && rec.type != rt::EOF_)
            parser.record(rec, stream_);
    });
    parser.finish();
    return cells;
}

// ---------------------------------------------------------------------------------------------
// One worksheet's cell table, a record at a time.

SheetParser::SheetParser(const Book& book, SheetCells& into) : book_(book), cells_(into) {}

StoredCell& SheetParser::add(uint16_t row, const StoredCell& c) {
    auto& rows = cells_.rows;
    if (row >= rows.size())
        rows.resize(static_cast<size_t>(row) + 1);
    rows[row].push_back(c);
    return rows[row].back();
}

StoredCell SheetParser::numberCell(uint16_t col, uint16_t xf, double v) const {
    StoredCell c;
    c.col = col;
    c.kind = book_.isDateXf(xf) ? StoredCell::Date : StoredCell::Number;
    c.number = v;
    return c;
}

StoredCell SheetParser::textCell(uint16_t col, std::string text) {
    StoredCell c;
    c.col = col;
    c.kind = StoredCell::OwnText;
    c.ref = static_cast<uint32_t>(cells_.texts.size());
    cells_.texts.push_back(std::move(text));
    return c;
}

void SheetParser::record(const Rec& r, const Bytes& in) {
    const uint8_t* d = r.data;
    switch (r.type) {
    case rt::NUMBER:
        if (r.len < 14)
            damaged("a NUMBER record is cut short");
        add(rd16(d), numberCell(rd16(d + 2), rd16(d + 4), rdDouble(d + 6)));
        break;
    case rt::RK:
        if (r.len < 10)
            damaged("an RK record is cut short");
        add(rd16(d), numberCell(rd16(d + 2), rd16(d + 4), decodeRk(rd32(d + 6))));
        break;
    case rt::MULRK: {
        if (r.len < 6)
            damaged("a MULRK record is cut short");
        const uint16_t row = rd16(d), col0 = rd16(d + 2);
        const size_t n = (r.len - 6) / 6;
        for (size_t i = 0; i < n && col0 + i <= 0xFFFF; ++i)
            add(row, numberCell(static_cast<uint16_t>(col0 + i), rd16(d + 4 + 6 * i), decodeRk(rd32(d + 6 + 6 * i))));
        break;
    }
    case rt::LABELSST: {
        if (r.len < 10)
            damaged("a LABELSST record is cut short");
        const uint32_t isst = rd32(d + 6);
        if (isst >= book_.sst_.size())
            damaged("a cell refers to a shared string that does not exist");
        StoredCell c;
        c.col = rd16(d + 2);
        c.kind = StoredCell::SstText;
        c.ref = isst;
        add(rd16(d), c);
        break;
    }
    case rt::LABEL:
    case rt::RSTRING: {
        std::string text;
        if (r.len < 8 || !book_.readShortString(d + 6, r.len - 6, 2, text))
            damaged("a LABEL record is cut short");
        add(rd16(d), textCell(rd16(d + 2), std::move(text)));
        break;
    }
    case rt::BOOLERR: {
        if (r.len < 8)
            damaged("a BOOLERR record is cut short");
        StoredCell c;
        c.col = rd16(d + 2);
        c.kind = d[7] ? StoredCell::Error : StoredCell::Bool;
        c.small = d[6];
        add(rd16(d), c);
        break;
    }
    case rt::FORMULA:
    case rt::FORMULA3:
    case rt::FORMULA4:
        formula(r);
        break;
    case rt::STRING:
        if (pendingRow_ >= 0)
            formulaText(r, in);
        break;
    case rt::SHRFMLA:
        if (lastWasFormula_)
            cells_.locked.push_back({lastRow_, lastRow_, lastCol_, lastCol_});
        break;
    case rt::ARRAY:
    case rt::TABLE:
        if (r.len >= 6)
            cells_.locked.push_back({rd16(d), rd16(d + 2), d[4], d[5]});
        break;
    default:
        break;
    }
    // Only the records that belong to a formula keep its string result and shared-formula
    // host pending.
    const bool formula = r.type == rt::FORMULA || r.type == rt::FORMULA3 || r.type == rt::FORMULA4;
    const bool follower = r.type == rt::SHRFMLA || r.type == rt::ARRAY || r.type == rt::TABLE || r.type == rt::STRING ||
                          r.type == rt::CONTINUE;
    if (!formula && !follower) {
        lastWasFormula_ = false;
        pendingRow_ = -1;
    }
}

void SheetParser::formula(const Rec& r) {
    if (r.len < 20)
        damaged("a FORMULA record is cut short");
    const uint8_t* d = r.data;
    const uint16_t row = rd16(d), col = rd16(d + 2);
    const uint8_t* res = d + 6;
    pendingRow_ = -1;
    if (rd16(res + 6) != 0xFFFF) {
        add(row, numberCell(col, rd16(d + 4), rdDouble(res)));
    } else {
        StoredCell c;
        switch (res[0]) {
        case 0: // string: the STRING record follows
            add(row, textCell(col, std::string()));
            pendingRow_ = row;
            pendingIndex_ = cells_.rows[row].size() - 1;
            break;
        case 1: // boolean
        case 2: // error code
            c.col = col;
            c.kind = res[0] == 1 ? StoredCell::Bool : StoredCell::Error;
            c.small = res[2];
            add(row, c);
            break;
        case 3: // empty string
            add(row, textCell(col, std::string()));
            break;
        default:
            damaged("a formula has an unknown result type");
        }
    }
    lastWasFormula_ = true;
    lastRow_ = row;
    lastCol_ = col;
}

void SheetParser::formulaText(const Rec& r, const Bytes& s) {
    std::string text;
    if (book_.biff_ == 8) {
        std::vector<ContinuedReader::Segment> segs{{r.pos + 4, r.len}};
        Rec c;
        for (uint32_t cp = r.pos + 4 + r.len; recordAt(s, cp, c) && c.type == rt::CONTINUE; cp += 4 + c.len)
            segs.push_back({cp + 4, c.len});
        ContinuedReader rd(s.data(), segs);
        if (!readRichString(rd, text, nullptr))
            damaged("a formula's text result is cut short");
    } else if (!book_.readShortString(r.data, r.len, 2, text)) {
        damaged("a formula's text result is cut short");
    }
    cells_.texts[cells_.rows[pendingRow_][pendingIndex_].ref] = std::move(text);
    pendingRow_ = -1;
}

void SheetParser::finish() {
    for (auto& row : cells_.rows)
        settleRow(row);
}

// Sorts a row's cells by column; where one cell has two records, the later one wins, as it
// does for other readers.
void settleRow(std::vector<StoredCell>& row) {
    if (row.size() < 2)
        return;
    auto byCol = [](const StoredCell& a, const StoredCell& b) { return a.col < b.col; };
    if (!std::is_sorted(row.begin(), row.end(), byCol))
        std::stable_sort(row.begin(), row.end(), byCol);
    bool dup = false;
    for (size_t i = 1; i < row.size() && !dup; ++i)
        dup = row[i].col == row[i - 1].col;
    if (!dup)
        return;
    std::vector<StoredCell> kept;
    for (const StoredCell& c : row) {
        if (!kept.empty() && kept.back().col == c.col)
            kept.back() = c;
        else
            kept.push_back(c);
    }
    row.swap(kept);
}

CellValue Book::cell(int sheet, int row, int col) const {
    const SheetCells& sc = sheetCells(sheet);
    if (!edits_[sheet].cells.empty()) {
        auto it = edits_[sheet].cells.find(static_cast<uint32_t>(row) << 8 | static_cast<uint32_t>(col));
        if (it != edits_[sheet].cells.end())
            return it->second;
    }
    return valueOf(sc, row, col);
}

CellValue Book::valueOf(const SheetCells& sc, int row, int col) const {
    if (row < 0 || static_cast<size_t>(row) >= sc.rows.size())
        return {};
    const auto& cells = sc.rows[row];
    auto it = std::lower_bound(cells.begin(), cells.end(), col, [](const StoredCell& c, int v) { return c.col < v; });
    if (it == cells.end() || it->col != col)
        return {};
    switch (it->kind) {
    case StoredCell::Number:
        return CellValue::fromNumber(it->number);
    case StoredCell::Date:
        return CellValue::fromDate(it->number);
    case StoredCell::SstText:
        return CellValue::fromText(std::string(sstText(it->ref)));
    case StoredCell::OwnText:
        return CellValue::fromText(sc.texts[it->ref]);
    case StoredCell::Bool:
        return CellValue::fromBool(it->small != 0);
    case StoredCell::Error:
        return CellValue::fromError(errorFromBiff(it->small));
    }
    return {};
}

bool Book::hasEdits() const {
    for (const auto& e : edits_)
        if (!e.cells.empty())
            return true;
    return false;
}

void Book::setCell(int sheet, int row, int col, const CellValue& value) {
    if (biff_ != 8)
        throw WorkbookError(WorkbookError::Code::OldFormat,
                            "the workbook uses an old Excel format (BIFF5/7); it can be read but not changed");
    if (row < 0 || row > 65535 || col < 0 || col > 255)
        throw WorkbookError(WorkbookError::Code::BadCell, "the cell lies outside an .xls sheet");
    const SheetCells& sc = sheetCells(sheet);
    for (const auto& rect : sc.locked) {
        if (row >= rect.r0 && row <= rect.r1 && col >= rect.c0 && col <= rect.c1)
            throw WorkbookError(WorkbookError::Code::Unsupported,
                                "the cell belongs to an array or shared formula and cannot be changed alone");
    }
    if (value.kind == CellValue::Kind::Text) {
        // Excel's limit on a cell's text, in UTF-16 units.
        size_t units = 0;
        for (unsigned char ch : value.text)
            units += (ch & 0xC0) != 0x80 ? ((ch >= 0xF0) ? 2 : 1) : 0;
        if (units > 32767)
            throw WorkbookError(WorkbookError::Code::Unsupported, "the text is longer than a cell can hold");
    }
    const uint32_t key = static_cast<uint32_t>(row) << 8 | static_cast<uint32_t>(col);
    auto& edits = edits_[sheet].cells;
    if (edits.find(key) == edits.end() && cell(sheet, row, col) == value)
        return; // already so in the file
    edits[key] = value;
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
