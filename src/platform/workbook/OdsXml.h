// Streaming XML for the OpenDocument codec: the shared parser with namespaces resolved to the
// handful that matter, and the byte range of every tag reported.
#pragma once

#include "platform/workbook/OdsContent.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rostrel::workbook::ods::xml {

enum class Ns { None, Other, Office, Table, Text, Calcext, Draw, Manifest };

struct Name {
    Ns ns = Ns::None;
    std::string_view local;
};

Ns namespaceOf(std::string_view uri);
std::string_view namespaceUri(Ns ns);

// Prefixes bound to namespaces where the parser stands (declarations are scoped).
class Scope {
public:
    // An element's or attribute's qualified name resolved (an unprefixed attribute is in no
    // namespace, an unprefixed element in the default one).
    Name resolve(const char* qname, bool attribute) const;
    Name resolve(std::string_view prefix, std::string_view local, bool attribute) const;

    struct Binding {
        std::string prefix;
        Ns ns;
        int depth;
    };
    std::vector<Binding> bindings;
};

// The attributes of the element being started.
class Attrs {
public:
    Attrs(const char** raw, const Scope& scope) : raw_(raw), scope_(scope) {}
    const char* get(Ns ns, std::string_view local) const;
    template <class F> void each(F&& visit) const {
        for (const char** a = raw_; *a; a += 2)
            visit(scope_.resolve(*a, true), a[1]);
    }

private:
    const char** raw_;
    const Scope& scope_;
};

class Handler {
public:
    virtual ~Handler() = default;
    virtual void startNamespace(const char* prefix, const char* uri) { (void)prefix, (void)uri; }
    // `tag` is the start tag (the whole element for an empty-element tag).
    virtual void start(const Name& n, const Attrs& attrs, Span tag) { (void)n, (void)attrs, (void)tag; }
    // `tag` is the end tag, or the whole element when it was an empty-element tag.
    virtual void end(const Name& n, Span tag, bool emptyTag) { (void)n, (void)tag, (void)emptyTag; }
    virtual void text(const char* s, int len) { (void)s, (void)len; }

    // Stops the parse: parse() then throws Damaged with this reason.
    void stop(std::string reason) { stopped_ = std::move(reason); }
    const std::string& stopped() const { return stopped_; }

private:
    std::string stopped_;
};

// Throws WorkbookError Damaged naming `what` for XML that is not well-formed, not in UTF-8 or
// declares a DTD or an entity.
void parse(const uint8_t* data, size_t size, Handler& handler, const char* what);

} // namespace rostrel::workbook::ods::xml
