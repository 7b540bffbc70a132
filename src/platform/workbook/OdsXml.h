// Streaming XML for the OpenDocument codec: expat with namespaces resolved and the byte range
// of every tag reported, and with DTDs and entity declarations refused (never expanded).
#pragma once

#include "platform/workbook/OdsContent.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace rostrel::workbook::ods::xml {

enum class Ns { None, Other, Office, Table, Text, Calcext, Draw, Manifest };

struct Name {
    Ns ns = Ns::None;
    std::string_view local;
};

Ns namespaceOf(std::string_view uri);
std::string_view namespaceUri(Ns ns);
// The namespace and local part of a name as the parser reports it.
Name splitName(const char* qname);
// The value of an attribute of the element being started, or nullptr.
const char* attr(const char** attrs, Ns ns, std::string_view local);

class Handler {
public:
    virtual ~Handler() = default;
    virtual void startNamespace(const char* prefix, const char* uri) { (void)prefix, (void)uri; }
    // `tag` is the start tag (the whole element for an empty-element tag).
    virtual void start(const Name& n, const char** attrs, Span tag) { (void)n, (void)attrs, (void)tag; }
    // `tag` is the end tag, or the whole element when it was an empty-element tag.
    virtual void end(const Name& n, Span tag, bool emptyTag) { (void)n, (void)tag, (void)emptyTag; }
    virtual void text(const char* s, int len) { (void)s, (void)len; }

    // Stops the parse: parse() then throws Damaged with this reason.
    void stop(std::string reason) { stopped_ = std::move(reason); }
    const std::string& stopped() const { return stopped_; }

private:
    std::string stopped_;
};

// Throws WorkbookError Damaged naming `what` for XML that is not well-formed or declares a
// DTD or an entity.
void parse(const uint8_t* data, size_t size, Handler& handler, const char* what);

} // namespace rostrel::workbook::ods::xml
