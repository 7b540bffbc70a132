// Cell styles of an .xlsx workbook (xl/styles.xml), as far as values need them: which cell
// formats show dates, and a date format for a date written into a cell that has none. Internal.
#pragma once

#include "platform/workbook/OoxmlXml.h"

#include <optional>
#include <string>
#include <vector>

namespace rostrel::workbook::ooxml {

struct Styles {
    std::vector<uint8_t> xfIsDate;  // by cellXfs index
    std::optional<uint32_t> dateXf; // a plain cell format showing a date, when there is one
    std::string prefix;
    bool hasCellXfs = false;
    uint64_t cellXfsPos = 0, cellXfsLen = 0; // the <cellXfs> start tag
    uint64_t cellXfsEnd = 0;                 // </cellXfs>

    static Styles parse(const FileBytes& xml, const std::string& part);
    bool isDate(uint32_t xf) const { return xf < xfIsDate.size() && xfIsDate[xf]; }
    // styles.xml with a cell format of built-in format 14 (a short date) appended; its index.
    FileBytes withDateXf(const FileBytes& original, uint32_t& index) const;
};

} // namespace rostrel::workbook::ooxml
