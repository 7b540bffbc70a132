#include "platform/workbook/OoxmlStrings.h"

#include "platform/workbook/OoxmlPackage.h"

#include <cctype>

namespace rostrel::workbook::ooxml {

namespace {

class SstHandler : public XmlHandler {
public:
    explicit SstHandler(SharedStrings& out) : out_(out) {}
    void start(const XName& n, const char** atts, uint64_t pos, uint64_t len) override {
        ++depth_;
        if (depth_ == 1) {
            out_.prefix = std::string(n.prefix);
            out_.startPos = pos;
            out_.startLen = len;
            out_.empty = true;
            uint32_t c;
            if (parseUnsigned(attr(atts, "count"), c)) {
                out_.count = c;
                out_.hasCount = true;
            }
        } else if (depth_ == 2 && n.local == "si") {
            out_.empty = false;
            current_.clear();
            plain_ = true;
            directTs_ = 0;
        } else if (depth_ >= 3 && n.local == "rPh") {
            phonetic_ = depth_;
            plain_ = false;
        } else if (n.local == "r") {
            plain_ = false;
        } else if (n.local == "t" && phonetic_ == 0 && (depth_ == 3 || depth_ == 4)) {
            if (depth_ == 3)
                ++directTs_;
            inText_ = true;
            piece_.clear();
        }
    }
    void end(const XName& n, uint64_t pos, uint64_t len) override {
        if (depth_ == 1) {
            out_.endPos = len > 0 ? pos : out_.startPos + out_.startLen;
        } else if (depth_ == 2 && n.local == "si") {
            out_.strings.push_back(std::move(current_));
            out_.plain.push_back(plain_ && directTs_ == 1);
            current_.clear();
        } else if (depth_ == phonetic_) {
            phonetic_ = 0;
        } else if (inText_ && n.local == "t") {
            current_ += decodeEscapes(piece_);
            inText_ = false;
        }
        --depth_;
    }
    void text(const char* s, int len) override {
        if (inText_)
            piece_.append(s, static_cast<size_t>(len));
    }

private:
    SharedStrings& out_;
    int depth_ = 0;
    int phonetic_ = 0;
    bool inText_ = false;
    bool plain_ = true;
    int directTs_ = 0;
    std::string current_, piece_;
};

} // namespace

SharedStrings SharedStrings::parse(const FileBytes& xml, const std::string& part) {
    SharedStrings sst;
    SstHandler h(sst);
    XmlParser p(h, part, false); // the table's own elements are told by their local names
    p.parse(xml);
    return sst;
}

uint32_t StringAppender::indexFor(const std::string& text) {
    if (!built_) {
        for (size_t i = 0; i < table_.strings.size(); ++i)
            if (table_.plain[i])
                lookup_.emplace(table_.strings[i], static_cast<uint32_t>(i));
        built_ = true;
    }
    ++references_;
    auto it = lookup_.find(text);
    if (it != lookup_.end())
        return it->second;
    const auto index = static_cast<uint32_t>(table_.strings.size() + appended_.size());
    appended_.push_back(text);
    lookup_.emplace(text, index);
    return index;
}

void StringAppender::rollback(const Mark& m) {
    for (size_t i = m.appended; i < appended_.size(); ++i)
        lookup_.erase(appended_[i]);
    appended_.resize(m.appended);
    references_ = m.references;
}

std::string textElement(const std::string& prefix, const std::string& text) {
    const std::string t = prefix.empty() ? "t" : prefix + ":t";
    const std::string body = xmlEscape(encodeEscapes(text));
    const bool blanks = !text.empty() && (std::isspace(static_cast<unsigned char>(text.front())) ||
                                          std::isspace(static_cast<unsigned char>(text.back())));
    return "<" + t + (blanks ? " xml:space=\"preserve\">" : ">") + body + "</" + t + ">";
}

FileBytes StringAppender::apply(const FileBytes& original) const {
    std::string items;
    const std::string si = table_.prefix.empty() ? "si" : table_.prefix + ":si";
    for (const std::string& s : appended_)
        items += "<" + si + ">" + textElement(table_.prefix, s) + "</" + si + ">";
    std::string tag(reinterpret_cast<const char*>(original.data() + table_.startPos), table_.startLen);
    const size_t unique = table_.strings.size() + appended_.size();
    std::vector<Splice> splices;
    if (table_.empty && tag.size() >= 2 && tag[tag.size() - 2] == '/') {
        // <sst .../> becomes <sst ...>items</sst>.
        tag.erase(tag.size() - 2, 1);
        tag = withAttribute(tag, "uniqueCount", std::to_string(unique));
        tag = withAttribute(tag, "count", std::to_string(table_.count + references_));
        const std::string name = table_.prefix.empty() ? "sst" : table_.prefix + ":sst";
        splices.push_back({table_.startPos, table_.startLen, tag + items + "</" + name + ">"});
    } else {
        tag = withAttribute(tag, "uniqueCount", std::to_string(unique));
        if (table_.hasCount)
            tag = withAttribute(tag, "count", std::to_string(table_.count + references_));
        splices.push_back({table_.startPos, table_.startLen, tag});
        splices.push_back({table_.endPos, 0, items});
    }
    return applySplices(original, std::move(splices));
}

} // namespace rostrel::workbook::ooxml
