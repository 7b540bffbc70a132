// Writing a ZIP package anew: members copied with their compressed data untouched, replaced
// or added members compressed here or elsewhere, then the central directory.
#include "platform/workbook/ZipDetail.h"
#include "platform/workbook/ZipPackage.h"

#include <algorithm>
#include <ctime>

namespace rostrel::workbook::zip {

using namespace detail;

namespace {

void put16(FileBytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(FileBytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putText(FileBytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}

// The fields a local header and its central-directory entry share, in their common order
// (from the version needed to extract to the extra field's length).
void putHeaderFields(FileBytes& out, const Package::Entry& e) {
    put16(out, e.versionNeeded);
    put16(out, e.flags);
    put16(out, e.method);
    put16(out, e.time);
    put16(out, e.date);
    put32(out, e.crc);
    put32(out, static_cast<uint32_t>(e.compressedSize));
    put32(out, static_cast<uint32_t>(e.size));
    put16(out, static_cast<uint16_t>(e.name.size()));
    put16(out, static_cast<uint16_t>(e.extra.size()));
}

FileBytes deflateAll(const FileBytes& data) {
    Deflater d;
    z_stream* z = &d.z;
    FileBytes out(deflateBound(z, static_cast<uLong>(data.size())) + 16);
    z->next_in = const_cast<Bytef*>(data.data());
    z->avail_in = static_cast<uInt>(data.size());
    z->next_out = out.data();
    z->avail_out = static_cast<uInt>(out.size());
    if (deflate(z, Z_FINISH) != Z_STREAM_END)
        throw WorkbookError(WorkbookError::Code::Unsupported, "a package member could not be compressed");
    out.resize(z->total_out);
    return out;
}

void dosNow(uint16_t& time, uint16_t& date) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    time = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    date = static_cast<uint16_t>(((std::max(tm.tm_year, 80) - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

} // namespace

FileBytes Package::rewrite(const std::map<std::string, FileBytes>& replaced,
                           const std::map<std::string, FileBytes>& added, const std::set<std::string>& removed,
                           const std::map<std::string, Compressed>& compressed) const {
    for (const auto& [name, data] : replaced)
        entry(name);
    for (const auto& [name, data] : compressed)
        entry(name);
    for (const auto& [name, data] : added)
        if (has(name) && !removed.count(name))
            damaged("the member \"" + name + "\" is added twice");

    FileBytes out;
    out.reserve(bytes_->size() + 4096);
    std::vector<Entry> written;

    auto writeMember = [&](Entry e, const uint8_t* data, size_t size) {
        if (out.size() > 0xFFFFFFFFu || size > 0xFFFFFFFFu || e.size > 0xFFFFFFFFu)
            throw WorkbookError(WorkbookError::Code::Unsupported, "the package is too large to be written");
        // The sizes go into the local header, so no data descriptor follows.
        e.flags &= static_cast<uint16_t>(~0x0008);
        e.localOffset = out.size();
        put32(out, kLocalSig);
        putHeaderFields(out, e);
        putText(out, e.name);
        putText(out, e.extra);
        out.insert(out.end(), data, data + size);
        written.push_back(std::move(e));
    };
    auto writeNew = [&](Entry e, const FileBytes& content, bool stored) {
        e.size = content.size();
        e.crc = crcOf(0, content.data(), content.size());
        e.flags &= static_cast<uint16_t>(~0x0008);
        if (stored) {
            e.method = 0;
            e.compressedSize = content.size();
            writeMember(std::move(e), content.data(), content.size());
        } else {
            e.method = 8;
            e.versionNeeded = std::max<uint16_t>(e.versionNeeded, 20);
            const FileBytes packed = deflateAll(content);
            e.compressedSize = packed.size();
            writeMember(std::move(e), packed.data(), packed.size());
        }
    };

    for (const Entry& e : entries_) {
        if (removed.count(e.name))
            continue;
        auto it = replaced.find(e.name);
        auto packed = compressed.find(e.name);
        if (packed != compressed.end()) {
            Entry n = e;
            n.method = 8;
            n.versionNeeded = std::max<uint16_t>(n.versionNeeded, 20);
            n.size = packed->second.size;
            n.crc = packed->second.crc;
            n.compressedSize = packed->second.data->size();
            writeMember(std::move(n), packed->second.data->data(), packed->second.data->size());
        } else if (it == replaced.end()) {
            writeMember(e, bytes_->data() + e.dataOffset, e.compressedSize);
        } else {
            writeNew(e, it->second, e.method == 0);
        }
    }
    for (const auto& [name, content] : added) {
        checkName(name);
        Entry e;
        e.name = name;
        dosNow(e.time, e.date);
        writeNew(std::move(e), content, false);
    }

    const size_t dirOffset = out.size();
    for (const Entry& e : written) {
        put32(out, kCentralSig);
        put16(out, e.versionMadeBy);
        putHeaderFields(out, e);
        put16(out, static_cast<uint16_t>(e.comment.size()));
        put16(out, 0);
        put16(out, e.internalAttrs);
        put32(out, e.externalAttrs);
        put32(out, static_cast<uint32_t>(e.localOffset));
        putText(out, e.name);
        putText(out, e.extra);
        putText(out, e.comment);
    }
    const size_t dirSize = out.size() - dirOffset;
    if (out.size() > 0xFFFFFFFFu || written.size() > 0xFFFF)
        throw WorkbookError(WorkbookError::Code::Unsupported, "the package is too large to be written");
    put32(out, kEndSig);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<uint16_t>(written.size()));
    put16(out, static_cast<uint16_t>(written.size()));
    put32(out, static_cast<uint32_t>(dirSize));
    put32(out, static_cast<uint32_t>(dirOffset));
    put16(out, static_cast<uint16_t>(comment_.size()));
    putText(out, comment_);
    return out;
}

} // namespace rostrel::workbook::zip
