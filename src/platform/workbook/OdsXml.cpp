#include "platform/workbook/OdsXml.h"

#include "platform/workbook/XmlStream.h"

#include <cstring>
#include <string>

namespace rostrel::workbook::ods::xml {

namespace {

// The shared parser without its namespace mode (faster on a large sheet), prefixes
// resolved here against the few namespaces that matter.
class Adapter : public xmlstream::XmlHandler {
public:
    explicit Adapter(Handler& handler) : handler_(handler) {}
    xmlstream::XmlParser* parser = nullptr;

    void start(const xmlstream::XName& name, const char** atts, uint64_t pos, uint64_t len) override {
        ++depth_;
        for (const char** a = atts; *a; a += 2) {
            if (std::strncmp(*a, "xmlns", 5) != 0 || ((*a)[5] != '\0' && (*a)[5] != ':'))
                continue;
            const char* prefix = (*a)[5] ? *a + 6 : "";
            scope_.bindings.push_back({prefix, namespaceOf(a[1]), depth_});
            if (*prefix)
                handler_.startNamespace(prefix, a[1]);
        }
        lastStart_ = {static_cast<size_t>(pos), static_cast<size_t>(pos + len)};
        handler_.start(scope_.resolve(name.prefix, name.local, false), Attrs(atts, scope_), lastStart_);
        if (!handler_.stopped().empty())
            parser->stop();
    }

    void end(const xmlstream::XName& name, uint64_t pos, uint64_t len) override {
        const Name n = scope_.resolve(name.prefix, name.local, false);
        if (len == 0)
            handler_.end(n, lastStart_, true);
        else
            handler_.end(n, {static_cast<size_t>(pos), static_cast<size_t>(pos + len)}, false);
        auto& b = scope_.bindings;
        while (!b.empty() && b.back().depth == depth_)
            b.pop_back();
        --depth_;
        if (!handler_.stopped().empty())
            parser->stop();
    }

    void text(const char* s, int len) override { handler_.text(s, len); }

private:
    Handler& handler_;
    Scope scope_;
    int depth_ = 0;
    Span lastStart_; // an empty-element tag ends where it starts
};

} // namespace

Ns namespaceOf(std::string_view uri) {
    constexpr std::string_view oasis = "urn:oasis:names:tc:opendocument:xmlns:";
    if (uri.substr(0, oasis.size()) == oasis) {
        const std::string_view rest = uri.substr(oasis.size());
        if (rest == "table:1.0")
            return Ns::Table;
        if (rest == "office:1.0")
            return Ns::Office;
        if (rest == "text:1.0")
            return Ns::Text;
        if (rest == "drawing:1.0")
            return Ns::Draw;
        if (rest == "manifest:1.0")
            return Ns::Manifest;
        return Ns::Other;
    }
    if (uri == namespaceUri(Ns::Calcext))
        return Ns::Calcext;
    return Ns::Other;
}

std::string_view namespaceUri(Ns ns) {
    switch (ns) {
    case Ns::Table:
        return "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
    case Ns::Office:
        return "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
    case Ns::Text:
        return "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
    case Ns::Draw:
        return "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";
    case Ns::Manifest:
        return "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0";
    case Ns::Calcext:
        return "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";
    default:
        return {};
    }
}

Name Scope::resolve(const char* qname, bool attribute) const {
    const char* colon = std::strchr(qname, ':');
    if (!colon)
        return resolve({}, qname, attribute);
    return resolve(std::string_view(qname, static_cast<size_t>(colon - qname)), colon + 1, attribute);
}

Name Scope::resolve(std::string_view prefix, std::string_view local, bool attribute) const {
    if (prefix.empty() && attribute)
        return {Ns::None, local};
    for (auto it = bindings.rbegin(); it != bindings.rend(); ++it)
        if (it->prefix.size() == prefix.size() && it->prefix == prefix)
            return {it->ns, local};
    return {prefix.empty() ? Ns::None : Ns::Other, local};
}

const char* Attrs::get(Ns ns, std::string_view local) const {
    for (const char** a = raw_; *a; a += 2) {
        const Name n = scope_.resolve(*a, true);
        if (n.ns == ns && n.local == local)
            return a[1];
    }
    return nullptr;
}

void parse(const uint8_t* data, size_t size, Handler& handler, const char* what) {
    Adapter adapter(handler);
    xmlstream::XmlParser parser(adapter, what, false);
    adapter.parser = &parser;
    parser.parse(data, size);
    if (!handler.stopped().empty())
        throw WorkbookError(WorkbookError::Code::Damaged, std::string(what) + ": " + handler.stopped());
}

} // namespace rostrel::workbook::ods::xml
