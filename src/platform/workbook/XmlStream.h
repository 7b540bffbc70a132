// Streaming XML for the parts of a workbook package (.xlsx and .ods alike): libxml2's SAX2
// parser, with the byte range of every tag reported (edits are spliced into the original text)
// and DTDs and entity declarations refused, never expanded. Internal to the engine.
#pragma once

#include "platform/workbook/Codec.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace rostrel::workbook::xmlstream {

// An element or attribute name as the parser gives it.
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
    // With namespaces an attribute in a namespace is named "uri|local|prefix", without them as written ("p:local"), the
    // xmlns declarations included.
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
    // (the prefix split off, no URI): faster, for the large sheet parts.
    XmlParser(XmlHandler& handler, std::string part, bool namespaces = true);
    ~XmlParser();
    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

    // Throws WorkbookError Damaged for malformed XML, for a part not in UTF-8 (positions count
    // its bytes) and for any DTD. What a handler throws comes out as it was thrown.
    void feed(const char* data, size_t size, bool last);
    void parse(const FileBytes& whole) { parse(whole.data(), whole.size()); }
    // A document in memory, read by the parser straight from there.
    void parse(const uint8_t* data, size_t size);
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

// The value of the attribute named `name` exactly as the handler got it (unprefixed with
// namespaces on), or null.
const char* attr(const char** atts, std::string_view name);

} // namespace rostrel::workbook::xmlstream
