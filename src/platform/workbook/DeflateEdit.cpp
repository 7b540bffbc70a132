// Reading through a deflated member's block index: a range of its content decoded from the
// nearest block start, the regions an edit recompresses, and where offsets move once edited.
// The edited member is written in DeflateRecompress.cpp and proven in DeflateVerify.cpp.
#include "platform/workbook/DeflateEdit.h"

#include "platform/workbook/DeflateDetail.h"

#include <algorithm>

namespace rostrel::workbook::zip {

using namespace detail;

FileBytes inflateRange(const uint8_t* data, size_t size, const DeflateIndex& index, uint64_t from, uint64_t to) {
    if (index.empty() || from > to || to > index.size)
        damaged("a range outside the member was asked for");
    FileBytes out;
    if (from == to)
        return out;
    const BlockMark* start = &index.marks.front();
    for (const BlockMark& m : index.marks) {
        if (m.out > from)
            break;
        if (m.out == 0 || m.window)
            start = &m;
    }
    Inflater inf;
    const FileBytes* w = start->window.get();
    inf.startAt(data, size, start->bit, w ? w->data() : nullptr, w ? w->size() : 0);
    const uint64_t want = to - start->out;
    FileBytes buf(static_cast<size_t>(std::min<uint64_t>(want, 1u << 20)));
    uint64_t produced = 0;
    out.reserve(static_cast<size_t>(to - from));
    while (produced < want) {
        const auto room = static_cast<uInt>(std::min<uint64_t>(buf.size(), want - produced));
        inf.z.next_out = buf.data();
        inf.z.avail_out = room;
        const int rc = inflate(&inf.z, Z_NO_FLUSH);
        const size_t got = room - inf.z.avail_out;
        if (rc != Z_OK && rc != Z_STREAM_END)
            damaged("a member does not inflate");
        const uint64_t lo = std::max(produced, from - start->out), hi = produced + got;
        if (hi > lo)
            out.insert(out.end(), buf.begin() + static_cast<std::ptrdiff_t>(lo - produced),
                       buf.begin() + static_cast<std::ptrdiff_t>(hi - produced));
        produced += got;
        if (rc == Z_STREAM_END || got == 0)
            break;
    }
    if (produced < want)
        damaged("a member ends before its declared size");
    return out;
}

std::vector<Region> planRegions(const DeflateIndex& index, const std::vector<ContentEdit>& edits) {
    std::vector<Region> regions;
    const auto& marks = index.marks;
    for (const ContentEdit& e : edits) {
        const uint64_t b = e.pos, end = e.pos + e.len;
        // The last block start at or before the edit.
        auto s =
            std::upper_bound(marks.begin(), marks.end(), b, [](uint64_t v, const BlockMark& m) { return v < m.out; });
        const size_t first = static_cast<size_t>(s - marks.begin()) - 1;
        // The first block start whose 32 KiB before it lie past the edit.
        auto u = std::lower_bound(marks.begin() + static_cast<std::ptrdiff_t>(first), marks.end(), end + kWindowSize,
                                  [](const BlockMark& m, uint64_t v) { return m.out < v; });
        Region r;
        r.first = first;
        r.last = static_cast<size_t>(u - marks.begin());
        r.begin = marks[first].out;
        r.end = r.last == marks.size() ? index.size : marks[r.last].out;
        if (!regions.empty() && r.first < regions.back().last) {
            Region& prev = regions.back();
            if (r.last > prev.last) {
                prev.last = r.last;
                prev.end = r.end;
            }
        } else {
            regions.push_back(r);
        }
    }
    return regions;
}

PositionShift::PositionShift(const std::vector<ContentEdit>& edits) {
    delta_.push_back(0);
    for (const ContentEdit& e : edits) {
        pos_.push_back(e.pos);
        insertion_.push_back(e.len == 0);
        delta_.push_back(delta_.back() + static_cast<int64_t>(e.text.size()) - static_cast<int64_t>(e.len));
    }
}

uint64_t PositionShift::operator()(uint64_t pos, bool insertionsBefore) const {
    size_t k = static_cast<size_t>(std::lower_bound(pos_.begin(), pos_.end(), pos) - pos_.begin());
    while (insertionsBefore && k < pos_.size() && pos_[k] == pos && insertion_[k])
        ++k;
    return static_cast<uint64_t>(static_cast<int64_t>(pos) + delta_[k]);
}

} // namespace rostrel::workbook::zip
