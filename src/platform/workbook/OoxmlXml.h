// XML of .xlsx parts: the shared streaming parser, plus the small codings the parts use (cell
// references, numbers, escaped characters). Internal to the engine.
#pragma once

#include "platform/workbook/Codec.h"
#include "platform/workbook/NumberText.h"
#include "platform/workbook/XmlStream.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rostrel::workbook::ooxml {

constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kStrictNsPrefix = "http://purl.oclc.org/ooxml/";

using xmlstream::attr;
using xmlstream::named;
using xmlstream::shortText;
using xmlstream::XmlHandler;
using xmlstream::XmlParser;
using xmlstream::XName;

// The value of a relationship-namespace attribute (r:id), transitional or strict.
const char* relAttr(const char** atts, std::string_view local);

// "B12" -> row 12, column 2 (1-based); false for anything else.
bool parseCellRef(std::string_view ref, int& row, int& column);
// Column letters only ("B" -> 2), 0 for anything else.
int parseColumn(std::string_view letters);
std::string cellRef(int row, int column);

// A number as written in <v>: false when it is none.
bool parseNumber(std::string_view s, double& out);
// The shortest text that reads back as the same double.
using workbook::formatNumber;
bool parseUnsigned(const char* s, uint32_t& out);

// Text that the format escapes as _xHHHH_ (characters XML cannot carry), decoded; and encoded.
std::string decodeEscapes(std::string_view s);
std::string encodeEscapes(std::string_view s);
// Text for an XML attribute or element.
std::string xmlEscape(std::string_view s);

// A change to a part's bytes: `len` bytes at `pos` become `text`.
struct Splice {
    uint64_t pos = 0, len = 0;
    std::string text;
};
// Applies splices (in position order; several insertions at one place keep their order).
FileBytes applySplices(const FileBytes& in, std::vector<Splice> splices);

// An ISO 8601 date or date-time ("2026-03-14", "2026-03-14T08:30:00") as a serial day number.
bool parseIsoDate(std::string_view s, bool date1904, double& serial);

} // namespace rostrel::workbook::ooxml
