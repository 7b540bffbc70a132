#include "platform/workbook/XmlStream.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <vector>

namespace rostrel::workbook::xmlstream {

namespace {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the workbook is damaged: " + what);
}

} // namespace

std::string XName::qualified() const {
    return prefix.empty() ? std::string(local) : std::string(prefix) + ":" + std::string(local);
}

// libxml2's SAX2 parser, fed or reading for itself. It always resolves namespaces; the
// handlers get attribute names as "uri|local|prefix", or as written with the xmlns
// declarations among the attributes.
struct XmlParser::Impl {
    xmlParserCtxtPtr ctxt = nullptr;
    XmlHandler* handler = nullptr;
    std::string part;
    bool namespaces = true;
    bool dtd = false;
    bool stopped = false;
    std::exception_ptr failure; // thrown by a handler, rethrown outside libxml2
    std::string error;          // the first fatal error
    int errorLine = 0;
    int depth = 0;
    int positionDepth = INT_MAX;
    // An empty element's end follows its start at once, with no tag of its own.
    bool emptyOpen = false;
    uint64_t emptyEnd = 0;
    std::vector<const char*> atts = {nullptr};
    std::vector<char> store; // attribute texts made NUL-terminated
    const std::function<size_t(char*, size_t)>* reader = nullptr;

    // A push parser (null), or one that reads its input through `read`.
    void begin(const std::function<size_t(char*, size_t)>* read);
    static int onRead(void* data, char* buffer, int len);
    // After a parse step: throws what went wrong; false when a handler stopped the parse.
    bool check();

    void fail() {
        failure = std::current_exception();
        xmlStopParser(ctxt);
    }
    // Where the parser stands in the document, and the tag that ends there (it is still in the
    // input buffer; no '<' can stand inside a tag).
    uint64_t offset(const xmlChar* at) const {
        const xmlParserInputPtr in = ctxt->input;
        return static_cast<uint64_t>(in->consumed) + static_cast<uint64_t>(at - in->base);
    }
    const xmlChar* tagStart(const xmlChar* end) const {
        const xmlChar* p = end;
        while (p > ctxt->input->base && *p != '<')
            --p;
        if (*p != '<')
            throw WorkbookError(WorkbookError::Code::Damaged,
                                "the workbook is damaged: a tag of \"" + part + "\" could not be placed");
        return p;
    }

    void collect(int nbNamespaces, const xmlChar** ns, int nbAttributes, const xmlChar** attributes) {
        auto text = [](const xmlChar* s) { return reinterpret_cast<const char*>(s); };
        // Room first: the pointers into `store` must stay valid.
        size_t room = 0;
        const int decls = namespaces ? 0 : nbNamespaces;
        for (int i = 0; i < decls; ++i)
            room += 8 + (ns[2 * i] ? std::strlen(text(ns[2 * i])) : 0) + std::strlen(text(ns[2 * i + 1]));
        for (int i = 0; i < nbAttributes; ++i) {
            const xmlChar* const* a = attributes + 5 * i;
            room += static_cast<size_t>(a[4] - a[3]) + 1;
            if (a[1])
                room += std::strlen(text(a[0])) + std::strlen(text(a[1])) + (a[2] ? std::strlen(text(a[2])) : 0) + 4;
        }
        if (store.size() < room)
            store.resize(std::max(room, 2 * store.size()));
        const size_t count = 2 * static_cast<size_t>(decls + nbAttributes) + 1;
        if (atts.size() < count)
            atts.resize(std::max(count, 2 * atts.size()));
        char* out = store.data();
        // Values are mostly a few characters long: a loop beats a call to memcpy.
        auto put = [&out](const char* s, size_t n) {
            char* at = out;
            for (size_t k = 0; k < n; ++k)
                out[k] = s[k];
            out += n;
            return at;
        };
        auto putText = [&put](const char* s) { return put(s, std::strlen(s)); };
        const char** slot = atts.data();
        for (int i = 0; i < decls; ++i) {
            *slot++ = out;
            put("xmlns", 5);
            if (ns[2 * i]) {
                put(":", 1);
                putText(text(ns[2 * i]));
            }
            *out++ = '\0';
            *slot++ = putText(text(ns[2 * i + 1]));
            *out++ = '\0';
        }
        for (int i = 0; i < nbAttributes; ++i) {
            const xmlChar* const* a = attributes + 5 * i;
            if (!a[1]) {
                *slot++ = text(a[0]); // interned and NUL-terminated already
            } else {
                *slot++ = out;
                if (namespaces) {
                    if (a[2]) {
                        putText(text(a[2]));
                        put("|", 1);
                    }
                    putText(text(a[0]));
                    put("|", 1);
                    putText(text(a[1]));
                } else {
                    putText(text(a[1]));
                    put(":", 1);
                    putText(text(a[0]));
                }
                *out++ = '\0';
            }
            *slot++ = put(text(a[3]), static_cast<size_t>(a[4] - a[3]));
            *out++ = '\0';
        }
        *slot = nullptr;
    }

    XName nameOf(const xmlChar* local, const xmlChar* prefix, const xmlChar* uri) const {
        XName n;
        n.local = shortText(reinterpret_cast<const char*>(local));
        if (prefix)
            n.prefix = shortText(reinterpret_cast<const char*>(prefix));
        if (namespaces && uri)
            n.uri = reinterpret_cast<const char*>(uri);
        return n;
    }

    static void onStart(void* data, const xmlChar* local, const xmlChar* prefix, const xmlChar* uri, int nbNamespaces,
                        const xmlChar** ns, int nbAttributes, int, const xmlChar** attributes) {
        auto* self = static_cast<Impl*>(data);
        try {
            const bool placed = ++self->depth <= self->positionDepth;
            uint64_t pos = 0, len = 0;
            // The parser stands on the tag's closing '>' or "/>".
            const xmlChar* cur = self->ctxt->input->cur;
            self->emptyOpen = *cur == '/';
            if (placed) {
                const xmlChar* begin = self->tagStart(cur);
                pos = self->offset(begin);
                len = static_cast<uint64_t>(cur - begin) + (self->emptyOpen ? 2 : 1);
                self->emptyEnd = pos + len;
            }
            if (nbAttributes > 0 || (nbNamespaces > 0 && !self->namespaces))
                self->collect(nbNamespaces, ns, nbAttributes, attributes);
            else
                self->atts[0] = nullptr; // many elements of a sheet (<v>, <text:p>) have none
            self->handler->start(self->nameOf(local, prefix, uri), self->atts.data(), pos, len);
        } catch (...) {
            self->fail();
        }
    }
    static void onEnd(void* data, const xmlChar* local, const xmlChar* prefix, const xmlChar* uri) {
        auto* self = static_cast<Impl*>(data);
        try {
            const bool placed = self->depth-- <= self->positionDepth;
            uint64_t pos = 0, len = 0;
            if (self->emptyOpen) {
                self->emptyOpen = false;
                if (placed)
                    pos = self->emptyEnd;
            } else if (placed) {
                // The parser stands just past the end tag's '>'.
                const xmlChar* cur = self->ctxt->input->cur;
                const xmlChar* begin = self->tagStart(cur - 1);
                pos = self->offset(begin);
                len = static_cast<uint64_t>(cur - begin);
            }
            self->handler->end(self->nameOf(local, prefix, uri), pos, len);
        } catch (...) {
            self->fail();
        }
    }
    static void onText(void* data, const xmlChar* s, int len) {
        auto* self = static_cast<Impl*>(data);
        try {
            self->handler->text(reinterpret_cast<const char*>(s), len);
        } catch (...) {
            self->fail();
        }
    }
    // Entity expansion is how "billion laughs" packages attack; no part of a workbook needs a DTD.
    static void onDoctype(void* data, const xmlChar*, const xmlChar*, const xmlChar*) {
        auto* self = static_cast<Impl*>(data);
        self->dtd = true;
        xmlStopParser(self->ctxt);
    }
    static void onEntity(void* data, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
        auto* self = static_cast<Impl*>(data);
        self->dtd = true;
        xmlStopParser(self->ctxt);
    }
    // Warnings and namespace complaints are no reason to refuse a part (a prefix used without
    // its declaration reads as written); only fatal errors are kept.
    static void onError(void* data, xmlErrorPtr e) {
        auto* self = static_cast<Impl*>(data);
        if (!e || e->level != XML_ERR_FATAL || !self->error.empty())
            return;
        self->error = e->message ? e->message : "error";
        while (!self->error.empty() && (self->error.back() == '\n' || self->error.back() == ' '))
            self->error.pop_back();
        self->errorLine = e->line;
    }
};

XmlParser::XmlParser(XmlHandler& handler, std::string part, bool namespaces) : impl_(new Impl) {
    static const bool initialised = [] {
        xmlInitParser();
        return true;
    }();
    (void)initialised;
    impl_->handler = &handler;
    impl_->part = std::move(part);
    impl_->namespaces = namespaces;
}

XmlParser::~XmlParser() {
    if (impl_->ctxt)
        xmlFreeParserCtxt(impl_->ctxt);
    delete impl_;
}

void XmlParser::Impl::begin(const std::function<size_t(char*, size_t)>* read) {
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = &Impl::onStart;
    sax.endElementNs = &Impl::onEnd;
    sax.characters = &Impl::onText;
    sax.ignorableWhitespace = &Impl::onText;
    sax.cdataBlock = &Impl::onText;
    sax.internalSubset = &Impl::onDoctype;
    sax.externalSubset = &Impl::onDoctype;
    sax.entityDecl = &Impl::onEntity;
    sax.serror = &Impl::onError;
    reader = read;
    ctxt = read ? xmlCreateIOParserCtxt(&sax, this, &Impl::onRead, nullptr, this, XML_CHAR_ENCODING_NONE)
                : xmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr);
    if (!ctxt)
        throw std::bad_alloc();
    // Predefined and character references come decoded; no DTD is ever read (see onDoctype),
    // nothing is fetched.
    xmlCtxtUseOptions(ctxt, XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC);
}

int XmlParser::Impl::onRead(void* data, char* buffer, int len) {
    auto* self = static_cast<Impl*>(data);
    try {
        // Full buffers: libxml2 looks for the XML declaration in what the first read gave.
        size_t got = 0;
        while (got < static_cast<size_t>(len))
            if (const size_t n = (*self->reader)(buffer + got, static_cast<size_t>(len) - got))
                got += n;
            else
                break;
        return static_cast<int>(got);
    } catch (...) {
        self->failure = std::current_exception();
        return -1;
    }
}

bool XmlParser::Impl::check() {
    if (failure)
        std::rethrow_exception(failure);
    if (dtd)
        damaged("\"" + part + "\" declares a DTD or entities (refused)");
    if (stopped)
        return false;
    if (!ctxt->wellFormed || !error.empty())
        damaged("\"" + part + "\" is not well-formed XML (" + (error.empty() ? "error" : error) + " at line " +
                std::to_string(errorLine) + ")");
    // Positions count bytes of the part as it is; a part in another encoding is converted first.
    if (ctxt->input && ctxt->input->buf && ctxt->input->buf->encoder)
        damaged("\"" + part + "\" is not in UTF-8, the only encoding read here");
    return true;
}

void XmlParser::positionsUpTo(int depth) {
    impl_->positionDepth = depth;
}

void XmlParser::stop() {
    impl_->stopped = true;
    if (impl_->ctxt)
        xmlStopParser(impl_->ctxt);
}

void XmlParser::feed(const char* data, size_t size, bool last) {
    Impl& p = *impl_;
    if (p.stopped)
        return;
    if (!p.ctxt)
        p.begin(nullptr);
    // libxml2 takes int lengths.
    while (true) {
        const size_t step = std::min<size_t>(size, 1u << 30);
        const bool final = last && step == size;
        xmlParseChunk(p.ctxt, data, static_cast<int>(step), final ? 1 : 0);
        if (!p.check())
            return;
        data += step;
        size -= step;
        if (size == 0)
            return;
    }
}

void XmlParser::parse(const uint8_t* data, size_t size) {
    size_t at = 0;
    parse([&](char* buffer, size_t room) {
        const size_t n = std::min(room, size - at);
        std::memcpy(buffer, data + at, n);
        at += n;
        return n;
    });
}

void XmlParser::parse(const std::function<size_t(char*, size_t)>& read) {
    Impl& p = *impl_;
    if (p.ctxt)
        throw std::logic_error("XmlParser::parse after feed");
    p.begin(&read);
    xmlParseDocument(p.ctxt);
    p.check();
}

const char* attr(const char** atts, std::string_view name) {
    for (; *atts; atts += 2)
        if (std::strncmp(atts[0], name.data(), name.size()) == 0 && atts[0][name.size()] == '\0')
            return atts[1];
    return nullptr;
}

} // namespace rostrel::workbook::xmlstream
