#include "platform/workbook/OoxmlPackage.h"

#include <cstring>

namespace rostrel::workbook::ooxml {

std::string relationshipsPartOf(const std::string& part) {
    const size_t slash = part.rfind('/');
    if (slash == std::string::npos)
        return "_rels/" + part + ".rels";
    return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

std::string resolveTarget(const std::string& sourcePart, const std::string& target) {
    std::string path;
    if (!target.empty() && target[0] == '/') {
        path = target.substr(1);
    } else {
        const size_t slash = sourcePart.rfind('/');
        path = (slash == std::string::npos ? std::string() : sourcePart.substr(0, slash + 1)) + target;
    }
    // Normalise "." and ".." segments; a ".." above the root stays at the root.
    std::vector<std::string> segs;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string seg = path.substr(start, end - start);
        if (seg == "..") {
            if (!segs.empty())
                segs.pop_back();
        } else if (!seg.empty() && seg != ".") {
            segs.push_back(seg);
        }
        start = end + 1;
    }
    std::string out;
    for (const std::string& s : segs)
        out += (out.empty() ? "" : "/") + s;
    return out;
}

bool relationshipIs(const std::string& type, std::string_view kind) {
    return type.size() > kind.size() && type.compare(type.size() - kind.size(), kind.size(), kind) == 0 &&
           type[type.size() - kind.size() - 1] == '/';
}

bool isStrictType(const std::string& type) {
    return type.rfind(kStrictNsPrefix, 0) == 0;
}

namespace {

class RelsHandler : public XmlHandler {
public:
    RelsHandler(std::vector<Relationship>& out, const std::string& source) : out_(out), source_(source) {}
    void start(const XName& n, const char** atts, uint64_t pos, uint64_t len) override {
        if (n.local != "Relationship")
            return;
        Relationship r;
        const char* id = attr(atts, "Id");
        const char* type = attr(atts, "Type");
        const char* target = attr(atts, "Target");
        const char* mode = attr(atts, "TargetMode");
        r.id = id ? id : "";
        r.type = type ? type : "";
        r.external = mode && std::strcmp(mode, "External") == 0;
        r.target = target ? (r.external ? std::string(target) : resolveTarget(source_, target)) : std::string();
        r.pos = pos;
        r.end = pos + len;
        out_.push_back(std::move(r));
        open_ = true;
    }
    void end(const XName& n, uint64_t pos, uint64_t len) override {
        // An empty element ends with its start tag (the end event has no bytes).
        if (n.local == "Relationship" && open_ && len > 0)
            out_.back().end = pos + len;
        open_ = false;
    }

private:
    std::vector<Relationship>& out_;
    const std::string& source_;
    bool open_ = false;
};

class ContentTypesHandler : public XmlHandler {
public:
    explicit ContentTypesHandler(std::vector<ContentOverride>& out) : out_(out) {}
    void start(const XName& n, const char** atts, uint64_t pos, uint64_t len) override {
        if (n.local != "Override")
            return;
        const char* name = attr(atts, "PartName");
        std::string p = name ? name : "";
        if (!p.empty() && p[0] == '/')
            p.erase(0, 1);
        out_.push_back({p, pos, pos + len});
        open_ = true;
    }
    void end(const XName& n, uint64_t pos, uint64_t len) override {
        if (n.local == "Override" && open_ && len > 0)
            out_.back().end = pos + len;
        open_ = false;
    }

private:
    std::vector<ContentOverride>& out_;
    bool open_ = false;
};

class WorkbookHandler : public XmlHandler {
public:
    explicit WorkbookHandler(WorkbookInfo& out) : out_(out) {}
    void start(const XName& n, const char** atts, uint64_t pos, uint64_t len) override {
        ++depth_;
        if (depth_ == 1) {
            out_.prefix = std::string(n.prefix);
            if (n.uri.substr(0, kStrictNsPrefix.size()) == kStrictNsPrefix)
                out_.strict = true;
            return;
        }
        if (depth_ == 2 && !out_.hasCalcPr && !insertFound_ &&
            (n.local == "oleSize" || n.local == "customWorkbookViews" || n.local == "pivotCaches" ||
             n.local == "smartTagPr" || n.local == "smartTagTypes" || n.local == "webPublishing" ||
             n.local == "fileRecoveryPr" || n.local == "webPublishObjects" || n.local == "extLst")) {
            out_.calcPrInsertAt = pos;
            insertFound_ = true;
        }
        if (depth_ == 2 && n.local == "workbookPr") {
            const char* v = attr(atts, "date1904");
            out_.date1904 = v && (std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0);
        } else if (depth_ == 2 && n.local == "calcPr") {
            out_.hasCalcPr = true;
            out_.calcPrPos = pos;
            out_.calcPrLen = len;
        } else if (depth_ == 3 && n.local == "sheet") {
            const char* name = attr(atts, "name");
            const char* id = relAttr(atts, "id");
            out_.sheets.push_back({name ? name : "", id ? id : ""});
        }
    }
    void end(const XName&, uint64_t pos, uint64_t) override {
        if (depth_ == 1 && !insertFound_)
            out_.calcPrInsertAt = pos;
        --depth_;
    }

private:
    WorkbookInfo& out_;
    int depth_ = 0;
    bool insertFound_ = false;
};

} // namespace

std::vector<Relationship> parseRelationships(const FileBytes& xml, const std::string& relsPart,
                                             const std::string& sourcePart) {
    std::vector<Relationship> out;
    RelsHandler h(out, sourcePart);
    XmlParser p(h, relsPart);
    p.parse(xml);
    return out;
}

std::vector<ContentOverride> parseContentTypes(const FileBytes& xml) {
    std::vector<ContentOverride> out;
    ContentTypesHandler h(out);
    XmlParser p(h, "[Content_Types].xml");
    p.parse(xml);
    return out;
}

WorkbookInfo parseWorkbook(const FileBytes& xml, const std::string& part) {
    WorkbookInfo info;
    WorkbookHandler h(info);
    XmlParser p(h, part);
    p.parse(xml);
    return info;
}

std::string withAttribute(std::string_view tag, std::string_view name, std::string_view value) {
    std::string t(tag);
    const std::string key = " " + std::string(name) + "=";
    size_t at = t.find(key);
    if (at == std::string::npos) {
        for (const char* ws : {"\t", "\n", "\r"}) {
            at = t.find(ws + std::string(name) + "=");
            if (at != std::string::npos)
                break;
        }
    }
    if (at != std::string::npos) {
        const size_t q = at + key.size();
        if (q < t.size() && (t[q] == '"' || t[q] == '\'')) {
            const size_t close = t.find(t[q], q + 1);
            if (close != std::string::npos)
                return t.substr(0, q + 1) + std::string(value) + t.substr(close);
        }
    }
    size_t endAt = t.size() - 1; // at '>'
    if (endAt > 0 && t[endAt - 1] == '/')
        --endAt;
    return t.substr(0, endAt) + " " + std::string(name) + "=\"" + std::string(value) + "\"" + t.substr(endAt);
}

} // namespace rostrel::workbook::ooxml
