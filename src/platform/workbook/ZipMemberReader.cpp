// Inflating one member of a ZIP package piece by piece: the size, ratio and checksum checks
// made while inflating, and the deflate block starts recorded for later partial edits.
#include "platform/workbook/ZipDetail.h"
#include "platform/workbook/ZipPackage.h"

#include <algorithm>
#include <cstring>

namespace rostrel::workbook::zip {

using namespace detail;

struct MemberReader::State {
    const Package::Entry* entry = nullptr;
    uint64_t ratioCap = 0;
    DeflateIndex* index = nullptr;
    uint64_t windowEvery = 0;
    const uint8_t* start = nullptr; // the member's data
    const uint8_t* src = nullptr;   // what is not given to the inflater yet
    uint64_t inLeft = 0;
    uint64_t produced = 0;
    uint64_t lastWindow = 0; // for the index: where the last window was kept
    uLong crc = crc32(0L, Z_NULL, 0);
    bool ended = false;
    Inflater inflater;

    const std::string& name() const { return entry->name; }
    // The checks of the whole member, once its end is reached.
    void finish() {
        ended = true;
        if (produced != entry->size)
            damaged("the member \"" + name() + "\" is shorter than declared");
        if (index) {
            index->size = produced;
            index->crc = static_cast<uint32_t>(crc);
        }
        if (static_cast<uint32_t>(crc) != entry->crc)
            damaged("the member \"" + name() + "\" fails its checksum");
    }
    size_t stored(uint8_t* out, size_t size) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(size, inLeft));
        std::memcpy(out, src, step);
        crc = crc32(crc, out, static_cast<uInt>(step));
        src += step;
        inLeft -= step;
        produced += step;
        if (inLeft == 0)
            finish();
        return step;
    }
    size_t inflated(uint8_t* out, size_t size) {
        z_stream* z = &inflater.z;
        while (true) {
            if (z->avail_in == 0) {
                const uInt step = static_cast<uInt>(std::min<uint64_t>(inLeft, 1u << 20));
                z->next_in = const_cast<Bytef*>(src);
                z->avail_in = step;
                src += step;
                inLeft -= step;
            }
            z->next_out = out;
            z->avail_out = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
            const uInt room = z->avail_out;
            const int rc = inflate(z, index ? Z_BLOCK : Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && z->avail_in == 0 && inLeft > 0))
                damaged("the member \"" + name() + "\" does not inflate");
            const size_t got = room - z->avail_out;
            produced += got;
            // The limit on what one member may inflate to: its declared size (itself within the
            // member limit), and the ratio once past the floor.
            if (produced > entry->size)
                damaged("the member \"" + name() + "\" inflates past its declared size");
            if (produced > ratioCap)
                damaged("the member \"" + name() + "\" inflates too far (a ZIP bomb?)");
            if (got > 0)
                crc = crc32(crc, out, static_cast<uInt>(got));
            else if (rc != Z_STREAM_END && z->avail_in == 0 && inLeft == 0 && !(index && (z->data_type & 128)))
                damaged("the member \"" + name() + "\" is cut short");
            // A block starts here (not past the last one).
            if (index && rc == Z_OK && (z->data_type & 128) && !(z->data_type & 64))
                mark(z);
            if (rc == Z_STREAM_END)
                finish();
            if (got > 0 || ended)
                return got;
        }
    }
    void mark(z_stream* z) {
        BlockMark m;
        m.bit = static_cast<uint64_t>(z->next_in - start) * 8 - static_cast<unsigned>(z->data_type & 7);
        m.out = produced;
        m.crc = static_cast<uint32_t>(crc);
        if (m.bit <= index->marks.back().bit)
            return;
        if (windowEvery > 0 && produced - lastWindow >= windowEvery) {
            // The inflater's own window is the content's last 32 KiB.
            FileBytes w(kWindowSize);
            uInt n = 0;
            if (inflateGetDictionary(z, w.data(), &n) == Z_OK) {
                w.resize(n);
                m.window = std::make_shared<const FileBytes>(std::move(w));
                lastWindow = produced;
            }
        }
        index->marks.push_back(std::move(m));
    }
};

MemberReader::MemberReader(const Package& package, const std::string& name, DeflateIndex* index, uint64_t windowEvery)
    : s_(std::make_unique<State>()) {
    const Package::Entry& e = package.entry(name);
    if (e.method != 0 && e.method != 8)
        damaged("the member \"" + name + "\" uses compression method " + std::to_string(e.method));
    State& s = *s_;
    s.entry = &e;
    s.ratioCap = std::max<uint64_t>(package.limits_.ratioFloor, e.compressedSize * package.limits_.maxRatio);
    s.start = s.src = package.bytes_->data() + e.dataOffset;
    s.inLeft = e.method == 0 ? e.size : e.compressedSize;
    if (index) {
        *index = {};
        if (e.method == 8) {
            s.index = index;
            s.windowEvery = windowEvery;
            index->marks.push_back({});
        }
    }
    if (e.method == 0 && e.size == 0)
        s.finish();
}

MemberReader::~MemberReader() = default;

size_t MemberReader::read(uint8_t* out, size_t size) {
    State& s = *s_;
    if (s.ended || size == 0)
        return 0;
    return s.entry->method == 0 ? s.stored(out, size) : s.inflated(out, size);
}

void Package::streamMember(const std::string& name, const std::function<void(const char*, size_t)>& chunk,
                           DeflateIndex* index, uint64_t windowEvery) const {
    MemberReader reader(*this, name, index, windowEvery);
    std::vector<uint8_t> buf(64 * 1024);
    while (const size_t n = reader.read(buf.data(), buf.size()))
        chunk(reinterpret_cast<const char*>(buf.data()), n);
}

FileBytes Package::member(const std::string& name) const {
    const Entry& e = entry(name);
    FileBytes out;
    out.reserve(e.size);
    streamMember(name, [&](const char* p, size_t n) { out.insert(out.end(), p, p + n); });
    return out;
}

} // namespace rostrel::workbook::zip
