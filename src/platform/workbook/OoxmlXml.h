// XML of .xlsx parts: a streaming parser (libxml2) that reports byte positions (for splicing edits into
// the original text) and refuses DTDs, plus the small codings the parts use (cell references,
// numbers, escaped characters). Internal to the engine.
#pragma once

#include "platform/workbook/Codec.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rostrel::workbook::ooxml {

constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kStrictNsPrefix = "http://purl.oclc.org/ooxml/";

// An element or attribute name as the namespace-aware parser gives it.
struct XName {
    std::string_view uri, local, prefix;
    // The name as written in the document ("x:c" or "c").
    std::string qualified() const;
};

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    // `pos` and `len` are the byte range of the tag in the document; an empty element's end
    // comes with len 0 right after its start. `atts` alternate names and values, null-ended.
    virtual void start(const XName& name, const char** atts, uint64_t pos, uint64_t len) = 0;
    virtual void end(const XName& name, uint64_t pos, uint64_t len) = 0;
    virtual void text(const char* s, int len) {
        (void)s;
        (void)len;
    }
};

class XmlParser {
public:
    // `part` names the package member in messages. Without `namespaces` names come as written
    // (the prefix split off, no URI): faster, for the large worksheet parts.
    XmlParser(XmlHandler& handler, std::string part, bool namespaces = true);
    ~XmlParser();
    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

    // Throws WorkbookError Damaged for malformed XML and for any DTD (never expanded).
    void feed(const char* data, size_t size, bool last);
    void parse(const FileBytes& whole) { feed(reinterpret_cast<const char*>(whole.data()), whole.size(), true); }
    // The whole document, which `read` puts straight into the parser's buffer (up to the size
    // asked for; 0 at the end): no copy, and less work in the parser than feed(). Not after
    // feed().
    void parse(const std::function<size_t(char*, size_t)>& read);
    // Ends parsing early from inside a handler (no error).
    void stop();
    // Tags deeper than `depth` (the document element is 1) are reported at position 0: finding
    // positions costs time on every cell of a large sheet.
    void positionsUpTo(int depth);

    struct Impl;

private:
    Impl* impl_;
};

// Whether `s` is `name`, compared without a library call: this runs for every tag of a sheet.
template <size_t N> constexpr bool named(std::string_view s, const char (&name)[N]) {
    if (s.size() != N - 1)
        return false;
    for (size_t i = 0; i + 1 < N; ++i)
        if (s[i] != name[i])
            return false;
    return true;
}

// A short NUL-terminated text (a name, a cell reference): counting beats a call to strlen.
inline std::string_view shortText(const char* s) {
    size_t n = 0;
    while (s[n])
        ++n;
    return {s, n};
}

// The value of an unprefixed attribute, or null.
const char* attr(const char** atts, std::string_view local);
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
std::string formatNumber(double v);
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
