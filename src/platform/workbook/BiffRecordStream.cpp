// The BIFF stream a record at a time: a record's header and data, and a reader over a record
// and the CONTINUE records that carry on its data.
#include "platform/workbook/BiffDetail.h"
#include "platform/workbook/BiffRecords.h"

#include <algorithm>

namespace rostrel::workbook::xls {

namespace detail {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the workbook is damaged: " + what);
}

} // namespace detail

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

} // namespace rostrel::workbook::xls
