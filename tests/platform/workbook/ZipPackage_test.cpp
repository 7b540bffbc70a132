// The ZIP layer on well-formed and on hostile packages, built byte by byte here so that each
// lie (sizes, checksums, names, directory) is exactly the one under test.
#include "platform/workbook/ZipPackage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

using namespace rostrel::workbook;
using rostrel::workbook::zip::Limits;
using rostrel::workbook::zip::Package;

namespace {

FileBytes bytesOf(const std::string& s) {
    return FileBytes(s.begin(), s.end());
}

struct Member {
    Member(std::string n, std::string c, bool d = true, std::optional<uint32_t> size = {},
           std::optional<uint32_t> sum = {}, uint16_t f = 0)
        : name(std::move(n)), content(std::move(c)), deflated(d), declaredSize(size), crc(sum), flags(f) {}
    std::string name;
    std::string content;
    bool deflated;
    std::optional<uint32_t> declaredSize; // a lie about the inflated size
    std::optional<uint32_t> crc;          // a lie about the checksum
    uint16_t flags;
};

void put16(FileBytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(FileBytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

std::string deflateRaw(const std::string& s) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, s.size()) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(s.data()));
    z.avail_in = static_cast<uInt>(s.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

FileBytes makeZip(const std::vector<Member>& members) {
    FileBytes out;
    FileBytes dir;
    for (const Member& m : members) {
        const std::string data = m.deflated ? deflateRaw(m.content) : m.content;
        const uint32_t crc = m.crc ? *m.crc
                                   : static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(m.content.data()),
                                                                 static_cast<uInt>(m.content.size())));
        const uint32_t size = m.declaredSize ? *m.declaredSize : static_cast<uint32_t>(m.content.size());
        const uint32_t offset = static_cast<uint32_t>(out.size());
        auto header = [&](FileBytes& b, bool central) {
            put32(b, central ? 0x02014b50 : 0x04034b50);
            if (central)
                put16(b, 20);
            put16(b, 20);
            put16(b, m.flags);
            put16(b, m.deflated ? 8 : 0);
            put16(b, 0);
            put16(b, 0x21);
            put32(b, crc);
            put32(b, static_cast<uint32_t>(data.size()));
            put32(b, size);
            put16(b, static_cast<uint32_t>(m.name.size()));
            put16(b, 0);
            if (central) {
                put16(b, 0);
                put16(b, 0);
                put16(b, 0);
                put32(b, 0);
                put32(b, offset);
            }
            b.insert(b.end(), m.name.begin(), m.name.end());
        };
        header(out, false);
        out.insert(out.end(), data.begin(), data.end());
        header(dir, true);
    }
    const uint32_t dirOffset = static_cast<uint32_t>(out.size());
    out.insert(out.end(), dir.begin(), dir.end());
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, static_cast<uint32_t>(members.size()));
    put16(out, static_cast<uint32_t>(members.size()));
    put32(out, static_cast<uint32_t>(dir.size()));
    put32(out, dirOffset);
    put16(out, 0);
    return out;
}

std::string text(const FileBytes& b) {
    return std::string(b.begin(), b.end());
}

// The message of the Damaged refusal, or "" when none came.
std::string refusal(const std::function<void()>& f) {
    try {
        f();
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.code(), WorkbookError::Code::Damaged) << e.what();
        return e.what();
    }
    return {};
}

} // namespace

TEST(ZipPackage, ReadsMembersInDirectoryOrder) {
    const std::string big(100000, 'x');
    const Package p = Package::read(makeZip({{"mimetype", "application/x", false}, {"a/b.xml", "<a/>"}, {"big", big}}));
    EXPECT_EQ(p.names(), (std::vector<std::string>{"mimetype", "a/b.xml", "big"}));
    EXPECT_TRUE(p.has("a/b.xml"));
    EXPECT_FALSE(p.has("a/B.xml"));
    EXPECT_EQ(text(p.member("mimetype")), "application/x");
    EXPECT_EQ(text(p.member("big")), big);
    std::string streamed;
    size_t pieces = 0;
    p.streamMember("big", [&](const char* d, size_t n) {
        streamed.append(d, n);
        ++pieces;
    });
    EXPECT_EQ(streamed, big);
    EXPECT_GT(pieces, 1u);
    EXPECT_NE(refusal([&] { p.member("nope"); }), "");
}

TEST(ZipPackage, RewriteCopiesUntouchedMembersAndKeepsStoredOnesStored) {
    const FileBytes original = makeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", false},
                                        {"content.xml", "<old/>"},
                                        {"styles.xml", std::string(5000, 's')},
                                        {"calc.xml", "<c/>"}});
    const Package p = Package::read(original);
    const FileBytes out = p.rewrite({{"content.xml", bytesOf("<new/>")}, {"mimetype", bytesOf("application/y")}},
                                    {{"added.xml", bytesOf("<add/>")}}, {"calc.xml"});
    const Package q = Package::read(out);
    EXPECT_EQ(q.names(), (std::vector<std::string>{"mimetype", "content.xml", "styles.xml", "added.xml"}));
    EXPECT_EQ(text(q.member("content.xml")), "<new/>");
    EXPECT_EQ(text(q.member("added.xml")), "<add/>");
    EXPECT_EQ(text(q.member("styles.xml")), std::string(5000, 's'));
    // mimetype stays first and stored: its bytes sit right after its 30-byte header and name.
    EXPECT_EQ(std::string(out.begin() + 38, out.begin() + 51), "application/y");
    // styles.xml's compressed bytes are the original ones.
    const std::string packed = deflateRaw(std::string(5000, 's'));
    EXPECT_NE(text(out).find(packed), std::string::npos);
    // Nothing replaced: the same members, the same data.
    const Package same = Package::read(p.rewrite({}));
    for (const std::string& n : p.names())
        EXPECT_EQ(same.member(n), p.member(n)) << n;
    EXPECT_NE(refusal([&] { p.rewrite({{"missing.xml", {}}}); }), "");
}

TEST(ZipPackage, RefusesBombsByDeclaredAndByRealSize) {
    Limits small;
    small.maxMemberSize = 1000;
    small.maxTotalSize = 1500;
    small.ratioFloor = 100;
    small.maxRatio = 20;
    // Declared too large.
    EXPECT_NE(refusal([&] { Package::read(makeZip({{"a", std::string(1001, 'a')}}), small); }), "");
    // Together too large.
    EXPECT_NE(refusal([&] {
                  Package::read(makeZip({{"a", std::string(800, 'a')}, {"b", std::string(800, 'b')}}), small);
              }),
              "");
    // Declared small, inflates larger: caught while inflating, before the whole is produced.
    const Package liar = Package::read(makeZip({{"a", std::string(1u << 20, 'a'), true, 500}}));
    size_t delivered = 0;
    EXPECT_NE(refusal([&] { liar.streamMember("a", [&](const char*, size_t n) { delivered += n; }); }), "");
    EXPECT_LT(delivered, 200000u);
    // Ratio: 900 bytes of one letter deflate to a handful.
    const Package ratio = Package::read(makeZip({{"a", std::string(900, 'a')}}), small);
    EXPECT_NE(refusal([&] { ratio.member("a"); }), "");
    // A member that deflates well but under the floor is fine.
    EXPECT_EQ(Package::read(makeZip({{"a", std::string(90, 'a')}}), small).member("a").size(), 90u);
    // Too many members.
    Limits few;
    few.maxMembers = 2;
    EXPECT_NE(refusal([&] { Package::read(makeZip({{"a", "1"}, {"b", "2"}, {"c", "3"}}), few); }), "");
}

TEST(ZipPackage, RefusesHostileNames) {
    for (const char* name : {"../evil.xml", "xl/../../evil", "/etc/passwd", "\\windows\\x", "C:/x", "a\\..\\..\\b"})
        EXPECT_NE(refusal([&] { Package::read(makeZip({{name, "x"}})); }), "") << name;
    EXPECT_NE(refusal([&] { Package::read(makeZip({{"xl/a.xml", "1"}, {"xl/a.xml", "2"}})); }), "");
    EXPECT_NE(refusal([&] { Package::read(makeZip({{"xl/a.xml", "1"}, {"XL/A.xml", "2"}})); }), "");
    // Names that merely contain dots are fine.
    EXPECT_NO_THROW(Package::read(makeZip({{"a..b/..c", "x"}, {"dir/", ""}})));
}

TEST(ZipPackage, RefusesBrokenDirectoriesChecksumsAndEncryption) {
    const FileBytes good = makeZip({{"a.xml", std::string(3000, 'q') + "end"}, {"b.xml", "<b/>"}});
    for (size_t cut : {size_t{1}, size_t{10}, size_t{30}, good.size() / 2, good.size() - 10}) {
        FileBytes truncated(good.begin(), good.end() - static_cast<std::ptrdiff_t>(cut));
        EXPECT_NE(refusal([&] { Package::read(truncated); }), "") << cut;
    }
    EXPECT_NE(refusal([&] { Package::read(bytesOf("PK\3\4 not really")); }), "");
    EXPECT_NE(refusal([&] { Package::read({}); }), "");
    // Directory entry count larger than the entries there.
    FileBytes moreEntries = good;
    moreEntries[moreEntries.size() - 12] = 3;
    EXPECT_NE(refusal([&] { Package::read(moreEntries); }), "");
    // Compressed data corrupted: the checksum (or inflate) catches it.
    const Package badCrc = Package::read(makeZip({{"a.xml", "hello", true, std::nullopt, 0x12345678}}));
    EXPECT_NE(refusal([&] { badCrc.member("a.xml"); }), "");
    const Package storedBadCrc = Package::read(makeZip({{"a.xml", "hello", false, std::nullopt, 1}}));
    EXPECT_NE(refusal([&] { storedBadCrc.member("a.xml"); }), "");
    EXPECT_NE(refusal([&] { Package::read(makeZip({{"a.xml", "x", true, std::nullopt, std::nullopt, 1}})); }), "");
}

// Every package of the real-world corpora: each member inflates with its checksum, and a
// rewrite that replaces nothing gives the same members back (and Python's zipfile agrees).
TEST(ZipPackage, CorpusPackagesReadAndRewriteWhole) {
    namespace fs = std::filesystem;
    const fs::path fixtures = ROSTREL_FIXTURES_DIR;
    if (!fs::exists(fixtures / "xlsx/ok"))
        GTEST_SKIP() << "the shared fixtures (" << fixtures << ") are not here";
    int packages = 0;
    for (const char* dir : {"xlsx/ok", "ods/ok"}) {
        if (!fs::exists(fixtures / dir))
            continue;
        for (const auto& f : fs::directory_iterator(fixtures / dir)) {
            std::ifstream in(f.path(), std::ios::binary);
            FileBytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            SCOPED_TRACE(f.path().string());
            // Two members of one name (or names equal but for case, which OPC treats as one
            // part): readers disagree on which one counts, so the package is refused.
            if (f.path().filename().string().rfind("duplicate-filename", 0) == 0) {
                EXPECT_NE(refusal([&] { Package::read(bytes); }), "");
                continue;
            }
            try {
                const Package p = Package::read(bytes);
                const Package q = Package::read(p.rewrite({}));
                ASSERT_EQ(p.names(), q.names());
                for (const std::string& n : p.names())
                    ASSERT_EQ(p.member(n), q.member(n)) << n;
                ++packages;
            } catch (const WorkbookError& e) {
                ADD_FAILURE() << e.what();
            }
        }
    }
    EXPECT_GT(packages, 300);
}
