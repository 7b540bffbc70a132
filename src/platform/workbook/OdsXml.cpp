#include "platform/workbook/OdsXml.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace rostrel::workbook::ods::xml {

namespace {

struct State {
    XML_Parser parser = nullptr;
    Handler* handler = nullptr;
    Scope scope;
    int depth = 0;
    bool refused = false;
    size_t lastStart = 0; // where the last start tag began: an empty-element tag ends with it
    size_t lastStartEnd = 0;
};

size_t position(XML_Parser p) {
    return static_cast<size_t>(XML_GetCurrentByteIndex(p));
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attrs) {
    auto* s = static_cast<State*>(data);
    ++s->depth;
    for (const char** a = attrs; *a; a += 2) {
        if (std::strncmp(*a, "xmlns", 5) != 0 || ((*a)[5] != '\0' && (*a)[5] != ':'))
            continue;
        const char* prefix = (*a)[5] ? *a + 6 : "";
        s->scope.bindings.push_back({prefix, namespaceOf(a[1]), s->depth});
        if (*prefix)
            s->handler->startNamespace(prefix, a[1]);
    }
    const size_t at = position(s->parser);
    const size_t len = static_cast<size_t>(XML_GetCurrentByteCount(s->parser));
    s->lastStart = at;
    s->lastStartEnd = at + len;
    s->handler->start(s->scope.resolve(name, false), Attrs(attrs, s->scope), {at, at + len});
    if (!s->handler->stopped().empty())
        XML_StopParser(s->parser, XML_FALSE);
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    auto* s = static_cast<State*>(data);
    const size_t len = static_cast<size_t>(XML_GetCurrentByteCount(s->parser));
    const Name n = s->scope.resolve(name, false);
    if (len == 0) {
        s->handler->end(n, {s->lastStart, s->lastStartEnd}, true);
    } else {
        const size_t at = position(s->parser);
        s->handler->end(n, {at, at + len}, false);
    }
    auto& b = s->scope.bindings;
    while (!b.empty() && b.back().depth == s->depth)
        b.pop_back();
    --s->depth;
    if (!s->handler->stopped().empty())
        XML_StopParser(s->parser, XML_FALSE);
}

void XMLCALL onText(void* data, const XML_Char* text, int len) {
    static_cast<State*>(data)->handler->text(text, len);
}

void refuse(State* s) {
    s->refused = true;
    XML_StopParser(s->parser, XML_FALSE);
}

void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    refuse(static_cast<State*>(data));
}

void XMLCALL onEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*, const XML_Char*,
                      const XML_Char*, const XML_Char*) {
    refuse(static_cast<State*>(data));
}

struct ParserGuard {
    XML_Parser p;
    ~ParserGuard() { XML_ParserFree(p); }
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
    const std::string_view prefix =
        colon ? std::string_view(qname, static_cast<size_t>(colon - qname)) : std::string_view();
    const std::string_view local = colon ? std::string_view(colon + 1) : std::string_view(qname);
    if (!colon && attribute)
        return {Ns::None, local};
    for (auto it = bindings.rbegin(); it != bindings.rend(); ++it)
        if (it->prefix.size() == prefix.size() && it->prefix == prefix)
            return {it->ns, local};
    return {colon ? Ns::Other : Ns::None, local};
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
    XML_Parser p = XML_ParserCreate(nullptr);
    if (!p)
        throw std::bad_alloc();
    ParserGuard guard{p};
    State s;
    s.parser = p;
    s.handler = &handler;
    XML_SetUserData(p, &s);
    XML_SetElementHandler(p, onStart, onEnd);
    XML_SetCharacterDataHandler(p, onText);
    XML_SetStartDoctypeDeclHandler(p, onDoctype);
    XML_SetEntityDeclHandler(p, onEntity);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    constexpr size_t kChunk = 64u << 20;
    size_t done = 0;
    do {
        const size_t n = std::min(kChunk, size - done);
        const bool last = done + n == size;
        if (XML_Parse(p, reinterpret_cast<const char*>(data) + done, static_cast<int>(n), last) != XML_STATUS_OK) {
            if (!handler.stopped().empty())
                throw WorkbookError(WorkbookError::Code::Damaged, std::string(what) + ": " + handler.stopped());
            if (s.refused)
                throw WorkbookError(WorkbookError::Code::Damaged,
                                    std::string(what) +
                                        " declares a document type or entities, which are not accepted");
            throw WorkbookError(WorkbookError::Code::Damaged, std::string(what) + " is not well-formed XML (line " +
                                                                  std::to_string(XML_GetCurrentLineNumber(p)) + ": " +
                                                                  XML_ErrorString(XML_GetErrorCode(p)) + ")");
        }
        done += n;
    } while (done < size);
}

} // namespace rostrel::workbook::ods::xml
