// Reading the BIFF8 (and BIFF5/7) workbook stream: globals, shared strings, formats, cells.
#include "platform/workbook/Biff.h"
#include "platform/workbook/BiffRecords.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>

namespace rostrel::workbook::xls {

namespace {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the workbook is damaged: " + what);
}

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

bool isBuiltinFormat(uint16_t f) {
    return f <= 22 || (f >= 27 && f <= 62) || (f >= 67 && f <= 81);
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
void ContinuedReader::normalize() { advance(); }
uint32_t ContinuedReader::streamPos() const {
    return seg_ < segs_.size() ? segs_[seg_].dataPos + off_ : 0;
}
uint32_t ContinuedReader::recordPos() const { return seg_ < segs_.size() ? segs_[seg_].dataPos - 4 : 0; }
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
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    case 0x2B: return "#GETTING_DATA";
    default: return "";
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

Book::Book(Bytes stream) : stream_(std::move(stream)) { parseGlobals(); }

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
    case 367: charset = "ASCII"; break;
    case 1200: charset = "UTF-16LE"; break;
    case 10000: case 32768: charset = "MACINTOSH"; break;
    case 32769: case 1252: charset = "CP1252"; break;
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
static bool readShortString(const Book& book, const uint8_t* p, size_t avail, int lenBytes, std::string& out,
                            std::string (*dec8)(const Book&, const uint8_t*, size_t)) {
    if (avail < static_cast<size_t>(lenBytes))
        return false;
    const uint32_t cch = lenBytes == 1 ? p[0] : rd16(p);
    p += lenBytes;
    avail -= lenBytes;
    if (book.biffVersion() == 5) {
        if (avail < cch)
            return false;
        out = dec8(book, p, cch);
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

static std::string decode8Thunk(const Book& b, const uint8_t* p, size_t n);

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
                const bool ok = biff_ == 8 ? readShortString(*this, r.data + 2, r.len - 2, 2, text, decode8Thunk)
                                           : readShortString(*this, r.data + 2, r.len - 2, 1, text, decode8Thunk);
                if (ok)
                    formats[rd16(r.data)] = isDateFormatString(text);
            }
            break;
        case rt::XF:
            if (r.len >= 6) {
                xfFormat_.push_back(rd16(r.data + 2));
                xfIsCell_.push_back((rd16(r.data + 4) & 0x0004) == 0);
            }
            break;
        case rt::BOUNDSHEET:
            if (r.len >= 7) {
                SheetEntry e;
                e.bofPos = rd32(r.data);
                e.type = r.data[5];
                e.boundsheetPos = pos;
                if (!readShortString(*this, r.data + 6, r.len - 6, 1, e.name, decode8Thunk))
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
    (void)isBuiltinFormat;
    if (hasSst_)
        parseSst(sstRecs);
    sheets_.resize(worksheets_.size());
    edits_.resize(worksheets_.size());
}

static std::string decode8Thunk(const Book& b, const uint8_t* p, size_t n) { return b.decode8Public(p, n); }

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
    for (uint32_t i = 0; i < unique; ++i) {
        rd.normalize();
        SstEntry e;
        e.streamPos = rd.streamPos();
        e.recordPos = rd.recordPos();
        if (!readRichString(rd, e.text, &e.plain)) {
            clean = false; // a count larger than the strings present: keep what was read
            break;
        }
        sst_.push_back(std::move(e));
    }
    sstClean_ = clean && rd.atEnd();
}

std::string Book::decode8Public(const uint8_t* p, size_t n) const { return decode8(p, n); }

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
    const uint32_t start = worksheets_[sheet].bofPos;
    Rec r;
    if (!recordAt(stream_, start, r) || r.type != rt::BOF || r.len < 4)
        damaged("sheet \"" + worksheets_[sheet].name + "\" does not start where the workbook says");
    if (rd16(r.data + 2) != 0x0010) {
        // A dialog, macro or chart sheet listed as a worksheet: no cells, and none written.
        cells->locked.push_back({0, 0xFFFF, 0, 0xFFFF});
        return cells;
    }

    auto& rows = cells->rows;
    auto add = [&](uint16_t row, const StoredCell& c) -> StoredCell& {
        if (row >= rows.size())
            rows.resize(static_cast<size_t>(row) + 1);
        rows[row].push_back(c);
        return rows[row].back();
    };
    auto numberCell = [&](uint16_t col, uint16_t xf, double v) {
        StoredCell c;
        c.col = col;
        c.kind = isDateXf(xf) ? StoredCell::Date : StoredCell::Number;
        c.number = v;
        return c;
    };
    auto textCell = [&](uint16_t col, std::string text) {
        StoredCell c;
        c.col = col;
        c.kind = StoredCell::OwnText;
        c.ref = static_cast<uint32_t>(cells->texts.size());
        cells->texts.push_back(std::move(text));
        return c;
    };

    int depth = 1;
    uint32_t pos = start + 4 + r.len;
    // A formula whose string result follows in a STRING record.
    long pendingRow = -1;
    size_t pendingIndex = 0;
    bool lastWasFormula = false;
    uint16_t lastRow = 0, lastCol = 0;
    for (;;) {
        if (!recordAt(stream_, pos, r))
            damaged("sheet \"" + worksheets_[sheet].name + "\" is cut short");
        const uint32_t next = pos + 4 + r.len;
        if (r.type == rt::BOF) {
            ++depth;
        } else if (r.type == rt::EOF_) {
            if (--depth == 0)
                break;
        }
        pos = next;
        if (depth != 1 || r.type == rt::EOF_)
            continue;
        const uint8_t* d = r.data;
        const bool formulaFollower = r.type == rt::SHRFMLA || r.type == rt::ARRAY || r.type == rt::TABLE ||
                                     r.type == rt::STRING || r.type == rt::CONTINUE;
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
            if (isst >= sst_.size())
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
            if (r.len < 8)
                damaged("a LABEL record is cut short");
            std::string text;
            if (!readShortString(*this, d + 6, r.len - 6, 2, text, decode8Thunk))
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
        case rt::FORMULA4: {
            if (r.len < 20)
                damaged("a FORMULA record is cut short");
            const uint16_t row = rd16(d), col = rd16(d + 2);
            const uint8_t* res = d + 6;
            StoredCell c;
            if (rd16(res + 6) == 0xFFFF) {
                switch (res[0]) {
                case 0: // string: the STRING record follows
                    c = textCell(col, std::string());
                    add(row, c);
                    pendingRow = row;
                    pendingIndex = rows[row].size() - 1;
                    break;
                case 1: // boolean
                case 2: // error code
                    c.col = col;
                    c.kind = res[0] == 1 ? StoredCell::Bool : StoredCell::Error;
                    c.small = res[2];
                    add(row, c);
                    break;
                case 3:
                    add(row, textCell(col, std::string()));
                    break;
                default:
                    damaged("a formula has an unknown result type");
                }
            } else {
                add(row, numberCell(col, rd16(d + 4), rdDouble(res)));
            }
            if (res[0] != 0 || rd16(res + 6) != 0xFFFF)
                pendingRow = -1;
            lastWasFormula = true;
            lastRow = row;
            lastCol = col;
            break;
        }
        case rt::STRING:
            if (pendingRow >= 0) {
                std::string text;
                if (biff_ == 8) {
                    std::vector<ContinuedReader::Segment> segs{{r.pos + 4, r.len}};
                    Rec c;
                    uint32_t cp = next;
                    while (recordAt(stream_, cp, c) && c.type == rt::CONTINUE) {
                        segs.push_back({cp + 4, c.len});
                        cp += 4 + c.len;
                    }
                    ContinuedReader rd(stream_.data(), segs);
                    if (!readRichString(rd, text, nullptr))
                        damaged("a formula's text result is cut short");
                } else if (!readShortString(*this, d, r.len, 2, text, decode8Thunk)) {
                    damaged("a formula's text result is cut short");
                }
                cells->texts[rows[pendingRow][pendingIndex].ref] = std::move(text);
                pendingRow = -1;
            }
            break;
        case rt::SHRFMLA:
            if (lastWasFormula)
                cells->locked.push_back({lastRow, lastRow, lastCol, lastCol});
            break;
        case rt::ARRAY:
        case rt::TABLE:
            if (r.len >= 6)
                cells->locked.push_back({rd16(d), rd16(d + 2), d[4], d[5]});
            break;
        default:
            break;
        }
        if (r.type != rt::FORMULA && r.type != rt::FORMULA3 && r.type != rt::FORMULA4 && !formulaFollower) {
            lastWasFormula = false;
            if (r.type != rt::STRING)
                pendingRow = -1;
        }
    }

    for (auto& row : rows) {
        if (row.size() < 2)
            continue;
        if (!std::is_sorted(row.begin(), row.end(), [](auto& a, auto& b) { return a.col < b.col; }))
            std::stable_sort(row.begin(), row.end(), [](auto& a, auto& b) { return a.col < b.col; });
        // The same cell twice: the later record wins.
        std::vector<StoredCell> dedup;
        bool dup = false;
        for (size_t i = 1; i < row.size() && !dup; ++i)
            dup = row[i].col == row[i - 1].col;
        if (!dup)
            continue;
        for (auto& c : row) {
            if (!dedup.empty() && dedup.back().col == c.col)
                dedup.back() = c;
            else
                dedup.push_back(c);
        }
        row.swap(dedup);
    }
    return cells;
}

CellValue Book::cell(int sheet, int row, int col) const {
    const SheetCells& sc = sheetCells(sheet);
    if (!edits_[sheet].cells.empty()) {
        auto it = edits_[sheet].cells.find(static_cast<uint32_t>(row) << 8 | static_cast<uint32_t>(col));
        if (it != edits_[sheet].cells.end())
            return it->second;
    }
    if (row < 0 || static_cast<size_t>(row) >= sc.rows.size())
        return {};
    const auto& cells = sc.rows[row];
    auto it = std::lower_bound(cells.begin(), cells.end(), col, [](const StoredCell& c, int v) { return c.col < v; });
    if (it == cells.end() || it->col != col)
        return {};
    switch (it->kind) {
    case StoredCell::Number: return CellValue::fromNumber(it->number);
    case StoredCell::Date: return CellValue::fromDate(it->number);
    case StoredCell::SstText: return CellValue::fromText(sst_[it->ref].text);
    case StoredCell::OwnText: return CellValue::fromText(sc.texts[it->ref]);
    case StoredCell::Bool: return CellValue::fromBool(it->small != 0);
    case StoredCell::Error: return CellValue::fromError(it->small);
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
