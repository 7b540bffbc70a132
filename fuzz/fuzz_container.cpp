// Compound documents far larger than the fuzzer's input: the input is a recipe for the
// container's directory (how many entries, a base shape, then changes to single links and
// types), and the rest of it becomes the workbook stream. Deep sibling chains, loops, shared
// children, nested storages and thousands of entries come out of a few dozen bytes.
//
// Recipe: u16 entry count (mod 4096), u8 shape (0 sibling chain, 1 balanced tree, 2 storages
// nested one in the next), u8 number of changes, then per change: u16 entry, u8 field (0 left,
// 1 right, 2 child, 3 type), u16 value (0xFFFF: none); the rest is the workbook stream (a small
// valid one when fewer than 8 bytes are left).
#include "FuzzEngine.h"

#include "platform/workbook/HostileXls.h"

using namespace rostrel::test::hostile;

namespace {

struct Recipe {
    const uint8_t* p;
    size_t n;
    uint8_t u8() {
        if (n == 0)
            return 0;
        --n;
        return *p++;
    }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Recipe in{data, size};
    const uint32_t count = in.u16() % 4096;
    const uint8_t shape = in.u8() % 3;
    const uint8_t changes = in.u8();
    struct Change {
        uint16_t entry;
        uint8_t field;
        uint16_t value;
    };
    std::vector<Change> edits;
    for (uint8_t i = 0; i < changes && in.n >= 5; ++i) {
        const uint16_t entry = in.u16();
        const uint8_t field = in.u8();
        edits.push_back({entry, field, in.u16()});
    }
    Bytes workbook(in.p, in.p + in.n);
    if (workbook.size() < 8)
        workbook = oneSheetWorkbook({{0x0203, number(0, 0, 1.5)}}, 1, 1);

    std::vector<DirEntry> entries = shape == 1 ? balancedEntries(workbook, count) : chainEntries(workbook, count);
    if (shape == 2) {
        for (size_t i = 2; i < entries.size(); ++i) {
            entries[i].type = 1;
            entries[i].child = entries[i].right;
            entries[i].right = kNoStream;
        }
    }
    for (const Change& c : edits) {
        DirEntry& d = entries[c.entry % entries.size()];
        const uint32_t v = c.value == 0xFFFF ? kNoStream : c.value;
        switch (c.field % 4) {
        case 0:
            d.left = v;
            break;
        case 1:
            d.right = v;
            break;
        case 2:
            d.child = v;
            break;
        default:
            d.type = static_cast<uint8_t>(c.value % 6);
            break;
        }
    }
    const Bytes file = compoundDocument(std::move(entries));
    rostrel::fuzz::exerciseXls(file.data(), file.size());
    return 0;
}
