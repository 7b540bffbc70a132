// Record types and low-level record access of the BIFF stream. Internal to the engine.
#pragma once

#include "platform/workbook/Bytes.h"

#include <string>
#include <vector>

namespace rostrel::workbook::xls {

namespace rt {
constexpr uint16_t BOF = 0x0809, EOF_ = 0x000A, FILEPASS = 0x002F, CODEPAGE = 0x0042, FORMAT = 0x041E, XF = 0x00E0,
                   BOUNDSHEET = 0x0085, SST = 0x00FC, EXTSST = 0x00FF, CONTINUE = 0x003C, RECALCID = 0x01C1;
constexpr uint16_t NUMBER = 0x0203, RK = 0x027E, MULRK = 0x00BD, LABELSST = 0x00FD, LABEL = 0x0204, RSTRING = 0x00D6,
                   BLANK = 0x0201, MULBLANK = 0x00BE, BOOLERR = 0x0205, FORMULA = 0x0006, STRING = 0x0207,
                   SHRFMLA = 0x04BC, ARRAY = 0x0221, TABLE = 0x0236;
// Formula records under the record numbers of BIFF3 and BIFF4, which some writers still use.
constexpr uint16_t FORMULA3 = 0x0206, FORMULA4 = 0x0406;
constexpr uint16_t ROW = 0x0208, DBCELL = 0x00D7, INDEX = 0x020B, DIMENSIONS = 0x0200, COLINFO = 0x007D,
                   DEFCOLWIDTH = 0x0055, DEFAULTROWHEIGHT = 0x0225, WINDOW2 = 0x023E;
} // namespace rt

constexpr uint16_t kMaxRecordData = 8224;

struct Rec {
    uint16_t type = 0;
    uint16_t len = 0;
    uint32_t pos = 0; // position of the record header in the stream
    const uint8_t* data = nullptr;
};

// The record at `pos`, or false when fewer bytes remain than it needs.
bool recordAt(const Bytes& s, uint32_t pos, Rec& r);

// Sequential reading over the data of a record and its CONTINUE records.
class ContinuedReader {
public:
    struct Segment {
        uint32_t dataPos; // stream position of the record's data
        uint32_t len;
    };
    ContinuedReader(const uint8_t* data, std::vector<Segment> segs) : data_(data), segs_(std::move(segs)) {}
    bool u8(uint8_t& v);
    bool u16(uint16_t& v);
    bool u32(uint32_t& v);
    bool skip(uint64_t n);
    // Characters; where they run into the next record, it starts with a new flag byte.
    bool chars(uint32_t count, bool wide, std::u16string& out);
    void normalize(); // steps over the end of a record to the next one
    uint32_t streamPos() const;
    uint32_t recordPos() const;
    bool atEnd() const;

private:
    bool advance();
    const uint8_t* data_;
    std::vector<Segment> segs_;
    size_t seg_ = 0;
    uint32_t off_ = 0;
};

bool readRichString(ContinuedReader& r, std::string& text, bool* plain);

} // namespace rostrel::workbook::xls
