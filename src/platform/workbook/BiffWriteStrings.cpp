// The BIFF8 writer's string-table step: the table index of each text written, and the shared
// string table copied with the new strings appended (or made anew), with each string's position
// kept for EXTSST.
#include "platform/workbook/BiffWriter.h"

#include <algorithm>

namespace rostrel::workbook::xls {

using detail::putRecord;
using detail::refuse;

namespace {

std::u16string utf8ToUtf16(const std::string& s) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (i + n > s.size()) {
            out.push_back(0xFFFD);
            break;
        }
        bool ok = true;
        for (size_t k = 1; k < n; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            ok = ok && (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3F);
        }
        i += ok ? n : 1;
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

// Appends strings to a string-table record group (SST then CONTINUEs), splitting them over new
// CONTINUE records as the format requires: the header and first character stay together, and
// a CONTINUE that resumes characters starts with its flag byte. Returns, for each string, the
// record it starts in and its offset in that record's data.
std::vector<std::pair<size_t, size_t>> appendSstStrings(std::vector<std::pair<uint16_t, Bytes>>& recs,
                                                        const std::vector<std::string>& strings) {
    std::vector<std::pair<size_t, size_t>> where;
    for (const std::string& text : strings) {
        const std::u16string u = utf8ToUtf16(text);
        bool wide = false;
        for (char16_t c : u)
            wide = wide || c > 0xFF;
        const size_t cb = wide ? 2 : 1;
        if (recs.back().second.size() + 3 + cb > kMaxRecordData)
            recs.emplace_back(rt::CONTINUE, Bytes());
        where.emplace_back(recs.size() - 1, recs.back().second.size());
        Bytes* cur = &recs.back().second;
        put16(*cur, static_cast<uint16_t>(u.size()));
        cur->push_back(wide ? 1 : 0);
        size_t i = 0;
        while (i < u.size()) {
            size_t space = (kMaxRecordData - cur->size()) / cb;
            if (space == 0) {
                recs.emplace_back(rt::CONTINUE, Bytes());
                cur = &recs.back().second;
                cur->push_back(wide ? 1 : 0);
                continue;
            }
            const size_t n = std::min(space, u.size() - i);
            for (size_t k = 0; k < n; ++k) {
                if (wide)
                    put16(*cur, static_cast<uint16_t>(u[i + k]));
                else
                    cur->push_back(static_cast<uint8_t>(u[i + k]));
            }
            i += n;
        }
    }
    return where;
}

} // namespace

// Finds the string-table index of every text written; a text not in the table yet is
// appended. Only the written texts are looked up: the table itself is not copied.
void Writer::assignStrings() {
    for (const auto& e : b_.edits_)
        for (const auto& [key, v] : e.cells)
            if (v.kind == CellValue::Kind::Text)
                textIndex_.emplace(v.text, UINT32_MAX);
    if (textIndex_.empty())
        return;
    size_t unresolved = textIndex_.size();
    for (uint32_t i = 0; i < b_.sst_.size() && unresolved > 0; ++i) {
        if (!b_.sst_[i].plain)
            continue;
        auto it = textIndex_.find(b_.sstText(i));
        if (it != textIndex_.end() && it->second == UINT32_MAX) {
            it->second = i;
            --unresolved;
        }
    }
    // New strings in the order the edits name them, so that a save is reproducible.
    for (const auto& e : b_.edits_) {
        for (const auto& [key, v] : e.cells) {
            if (v.kind != CellValue::Kind::Text)
                continue;
            uint32_t& index = textIndex_.at(v.text);
            if (index != UINT32_MAX)
                continue;
            index = static_cast<uint32_t>(b_.sst_.size() + newStrings_.size());
            newStrings_.push_back(v.text);
        }
    }
    if (newStrings_.empty())
        return;
    if (b_.hasSst_ && !b_.sstClean_)
        refuse("its shared string table is not in a form that can be extended");
    if (b_.hasSst_ && b_.extSstPos_ && b_.extSstPos_ < b_.sstPos_)
        refuse("its string index precedes the string table");
    if (b_.sst_.size() + newStrings_.size() > 0x7FFFFFFF)
        refuse("too many strings");
}

// Copies the SST and its CONTINUEs, appending the new strings at the end, split over new
// CONTINUE records as the format requires.
void Writer::emitSst(uint32_t groupEnd) {
    std::vector<std::pair<uint16_t, Bytes>> recs;
    std::vector<uint32_t> oldRecPos;
    for (uint32_t pos = b_.sstPos_; pos < groupEnd;) {
        Rec r;
        recordAt(s_, pos, r);
        recs.emplace_back(r.type, Bytes(r.data, r.data + r.len));
        oldRecPos.push_back(pos);
        pos += 4 + r.len;
    }
    const uint32_t unique = static_cast<uint32_t>(b_.sst_.size() + newStrings_.size());
    wr32(&recs[0].second[4], unique);
    const auto where = appendSstStrings(recs, newStrings_);
    std::vector<uint32_t> newRecPos;
    for (size_t k = 0; k < recs.size(); ++k) {
        if (k < oldRecPos.size())
            mapRecord(oldRecPos[k]);
        newRecPos.push_back(static_cast<uint32_t>(out_.size()));
        putRecord(out_, recs[k].first, recs[k].second);
    }
    sstHeaderPos_ = newRecPos[0];
    const long long shift = static_cast<long long>(newRecPos[0]) - b_.sstPos_;
    stringPos_.clear();
    stringPos_.reserve(b_.sst_.size() + where.size());
    for (const auto& e : b_.sst_)
        stringPos_.emplace_back(static_cast<uint32_t>(e.streamPos + shift), static_cast<uint32_t>(e.recordPos + shift));
    for (const auto& [rec, off] : where)
        stringPos_.emplace_back(static_cast<uint32_t>(newRecPos[rec] + 4 + off), newRecPos[rec]);
}

// A workbook without a string table gets one (holding only the new strings).
void Writer::emitNewSst() {
    std::vector<std::pair<uint16_t, Bytes>> recs(1, {rt::SST, Bytes()});
    put32(recs[0].second, 0);
    put32(recs[0].second, static_cast<uint32_t>(newStrings_.size()));
    const auto where = appendSstStrings(recs, newStrings_);
    std::vector<uint32_t> recPos;
    for (const auto& [type, data] : recs) {
        recPos.push_back(static_cast<uint32_t>(out_.size()));
        putRecord(out_, type, data);
    }
    sstHeaderPos_ = recPos[0];
    for (const auto& [rec, off] : where)
        stringPos_.emplace_back(static_cast<uint32_t>(recPos[rec] + 4 + off), recPos[rec]);
    emitExtSst();
}

} // namespace rostrel::workbook::xls
