#include "platform/workbook/OoxmlXml.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace rostrel::workbook::ooxml {

namespace {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the workbook is damaged: " + what);
}

} // namespace

std::string XName::qualified() const {
    return prefix.empty() ? std::string(local) : std::string(prefix) + ":" + std::string(local);
}

// libxml2's SAX2 parser, fed or reading for itself: a third faster than expat on the
// attribute-laden cells of a large sheet. It always resolves namespaces; the handlers get
// names as expat gives them in its namespace mode ("uri|local|prefix"), or as written with
// the xmlns declarations among the attributes.
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
                self->atts[0] = nullptr; // most elements of a sheet (<v>) have no attributes
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
    xmlCtxtUseOptions(ctxt, XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOWARNING);
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

void XmlParser::parse(const std::function<size_t(char*, size_t)>& read) {
    Impl& p = *impl_;
    if (p.ctxt)
        throw std::logic_error("XmlParser::parse after feed");
    p.begin(&read);
    xmlParseDocument(p.ctxt);
    p.check();
}

const char* attr(const char** atts, std::string_view local) {
    for (; *atts; atts += 2)
        if (std::strncmp(atts[0], local.data(), local.size()) == 0 && atts[0][local.size()] == '\0')
            return atts[1];
    return nullptr;
}

const char* relAttr(const char** atts, std::string_view local) {
    for (; *atts; atts += 2) {
        // "uri|local|prefix"
        const std::string_view name(atts[0]);
        const size_t a = name.find('|');
        if (a == std::string_view::npos)
            continue;
        const size_t b = name.find('|', a + 1);
        const std::string_view uri = name.substr(0, a);
        if (name.substr(a + 1, b == std::string_view::npos ? std::string_view::npos : b - a - 1) == local &&
            (uri == "http://schemas.openxmlformats.org/officeDocument/2006/relationships" ||
             uri == "http://purl.oclc.org/ooxml/officeDocument/relationships"))
            return atts[1];
    }
    return nullptr;
}

int parseColumn(std::string_view letters) {
    if (letters.empty() || letters.size() > 3)
        return 0;
    int col = 0;
    for (char c : letters) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            return 0;
        col = col * 26 + (c - 'A' + 1);
    }
    return col;
}

// One pass, no allocation: this runs for every cell of a sheet.
bool parseCellRef(std::string_view ref, int& row, int& column) {
    const char* p = ref.data();
    const char* const end = p + ref.size();
    if (p < end && *p == '$')
        ++p;
    int col = 0, letters = 0;
    for (; p < end; ++p) {
        char c = *p;
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            break;
        if (++letters > 3)
            return false;
        col = col * 26 + (c - 'A' + 1);
    }
    if (p < end && *p == '$')
        ++p;
    if (letters == 0 || p == end || end - p > 7)
        return false;
    int r = 0;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        r = r * 10 + (*p - '0');
    }
    if (r == 0)
        return false;
    row = r;
    column = col;
    return true;
}

std::string cellRef(int row, int column) {
    std::string letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

bool parseNumber(std::string_view s, double& out) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    // Whole numbers (most cells of a roll book) are exact without the general conversion.
    const bool negative = s.front() == '-';
    const std::string_view digits = s.substr(negative ? 1 : 0);
    if (!digits.empty() && digits.size() <= 15) {
        uint64_t v = 0;
        size_t i = 0;
        for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i)
            v = v * 10 + static_cast<uint64_t>(digits[i] - '0');
        if (i == digits.size()) {
            out = negative ? -static_cast<double>(v) : static_cast<double>(v);
            return true;
        }
    }
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::string formatNumber(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool parseUnsigned(const char* s, uint32_t& out) {
    if (!s || *s == '\0')
        return false;
    uint64_t v = 0;
    for (const char* p = s; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > UINT32_MAX)
            return false;
    }
    out = static_cast<uint32_t>(v);
    return true;
}

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
void appendUtf8(std::string& out, uint32_t u) {
    if (u < 0x80) {
        out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (u >> 6)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (u >> 12)));
        out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
}
bool isEscape(std::string_view s, size_t i, uint32_t& code) {
    if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_')
        return false;
    code = 0;
    for (size_t k = i + 2; k < i + 6; ++k) {
        const int h = hexDigit(s[k]);
        if (h < 0)
            return false;
        code = code * 16 + static_cast<uint32_t>(h);
    }
    return true;
}
} // namespace

std::string decodeEscapes(std::string_view s) {
    if (s.find("_x") == std::string_view::npos)
        return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        uint32_t code;
        if (isEscape(s, i, code)) {
            if (code >= 0xD800 && code <= 0xDFFF)
                code = 0xFFFD;
            appendUtf8(out, code);
            i += 7;
        } else {
            out.push_back(s[i++]);
        }
    }
    return out;
}

std::string encodeEscapes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        uint32_t code;
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "_x%04X_", c);
            out += buf;
        } else if (isEscape(s, i, code)) {
            out += "_x005F_"; // the underscore of a literal "_xHHHH_" in the text
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string xmlEscape(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 8);
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

namespace {
// Days from 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
bool digits(std::string_view s, size_t at, size_t n, int& out) {
    if (at + n > s.size())
        return false;
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}
} // namespace

bool parseIsoDate(std::string_view s, bool date1904, double& serial) {
    int y, mo, d, h = 0, mi = 0, sec = 0;
    double frac = 0;
    size_t i = 0;
    if (digits(s, 0, 4, y) && s.size() >= 10 && s[4] == '-' && s[7] == '-' && digits(s, 5, 2, mo) &&
        digits(s, 8, 2, d)) {
        i = 10;
        if (i < s.size() && s[i] == 'T')
            ++i;
    } else {
        y = date1904 ? 1904 : 1899;
        mo = date1904 ? 1 : 12;
        d = date1904 ? 1 : 30;
    }
    if (i < s.size() && s[i] != 'Z') {
        if (!digits(s, i, 2, h) || i + 5 > s.size() || s[i + 2] != ':' || !digits(s, i + 3, 2, mi))
            return false;
        i += 5;
        if (i < s.size() && s[i] == ':') {
            if (!digits(s, i + 1, 2, sec))
                return false;
            i += 3;
            if (i < s.size() && s[i] == '.') {
                double scale = 0.1;
                for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, scale /= 10)
                    frac += (s[i] - '0') * scale;
            }
        }
    }
    if (i < s.size() && s[i] == 'Z')
        ++i;
    if (i != s.size() || mo < 1 || mo > 12 || d < 1 || d > 31)
        return false;
    const int64_t epoch = date1904 ? daysFromCivil(1904, 1, 1) : daysFromCivil(1899, 12, 30);
    double days = static_cast<double>(daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - epoch);
    // The 1900 system counts a 29 February 1900 that never was: dates before March 1900 are one less.
    if (!date1904 && days < 61 && days > 0)
        days -= 1;
    serial = days + (h * 3600 + mi * 60 + sec + frac) / 86400.0;
    return true;
}

FileBytes applySplices(const FileBytes& in, std::vector<Splice> splices) {
    std::stable_sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) { return a.pos < b.pos; });
    FileBytes out;
    size_t extra = 0;
    for (const Splice& s : splices)
        extra += s.text.size();
    out.reserve(in.size() + extra);
    uint64_t at = 0;
    for (const Splice& s : splices) {
        if (s.pos < at || s.pos + s.len > in.size())
            throw WorkbookError(WorkbookError::Code::Unsupported, "overlapping changes to one part");
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(at),
                   in.begin() + static_cast<std::ptrdiff_t>(s.pos));
        out.insert(out.end(), s.text.begin(), s.text.end());
        at = s.pos + s.len;
    }
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(at), in.end());
    return out;
}

} // namespace rostrel::workbook::ooxml
