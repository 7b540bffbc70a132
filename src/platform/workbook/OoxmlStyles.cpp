#include "platform/workbook/OoxmlStyles.h"

#include "platform/workbook/Biff.h"
#include "platform/workbook/OoxmlPackage.h"

#include <map>

namespace rostrel::workbook::ooxml {

namespace {

class StylesHandler : public XmlHandler {
public:
    explicit StylesHandler(Styles& out) : out_(out) {}
    void start(const XName& n, const char** atts, uint64_t pos, uint64_t len) override {
        ++depth_;
        if (depth_ == 1) {
            out_.prefix = std::string(n.prefix);
        } else if (depth_ == 2 && n.local == "cellXfs") {
            inXfs_ = true;
            out_.hasCellXfs = true;
            out_.cellXfsPos = pos;
            out_.cellXfsLen = len;
            out_.cellXfsEnd = pos + len;
        } else if (depth_ == 3 && n.local == "numFmt") {
            uint32_t id;
            const char* code = attr(atts, "formatCode");
            if (parseUnsigned(attr(atts, "numFmtId"), id) && code)
                formats_[id] = decodeEscapes(code);
        } else if (depth_ == 3 && inXfs_ && n.local == "xf") {
            uint32_t id = 0;
            parseUnsigned(attr(atts, "numFmtId"), id);
            xfFormats_.push_back(id);
        }
    }
    void end(const XName& n, uint64_t pos, uint64_t len) override {
        if (depth_ == 2 && n.local == "cellXfs") {
            inXfs_ = false;
            if (len > 0)
                out_.cellXfsEnd = pos;
        }
        --depth_;
    }
    void finish() {
        for (size_t i = 0; i < xfFormats_.size(); ++i) {
            const uint32_t f = xfFormats_[i];
            auto it = formats_.find(f);
            const bool date = it != formats_.end() ? xls::isDateFormatString(it->second)
                                                   : f <= 0xFFFF && xls::isBuiltinDateFormat(static_cast<uint16_t>(f));
            out_.xfIsDate.push_back(date);
            if (f == 14 && !out_.dateXf)
                out_.dateXf = static_cast<uint32_t>(i);
        }
    }

private:
    Styles& out_;
    int depth_ = 0;
    bool inXfs_ = false;
    std::map<uint32_t, std::string> formats_;
    std::vector<uint32_t> xfFormats_;
};

} // namespace

Styles Styles::parse(const FileBytes& xml, const std::string& part) {
    Styles s;
    StylesHandler h(s);
    XmlParser p(h, part);
    p.parse(xml);
    h.finish();
    return s;
}

FileBytes Styles::withDateXf(const FileBytes& original, uint32_t& index) const {
    if (!hasCellXfs)
        throw WorkbookError(WorkbookError::Code::Unsupported,
                            "the workbook has no cell formats to add a date format to");
    index = static_cast<uint32_t>(xfIsDate.size());
    const std::string xf = prefix.empty() ? "xf" : prefix + ":xf";
    std::string tag(reinterpret_cast<const char*>(original.data() + cellXfsPos), cellXfsLen);
    std::vector<Splice> splices;
    const std::string item =
        "<" + xf + " numFmtId=\"14\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>";
    if (cellXfsEnd == cellXfsPos + cellXfsLen && tag.size() >= 2 && tag[tag.size() - 2] == '/') {
        tag.erase(tag.size() - 2, 1);
        const std::string name = prefix.empty() ? "cellXfs" : prefix + ":cellXfs";
        splices.push_back({cellXfsPos, cellXfsLen,
                           withAttribute(tag, "count", std::to_string(index + 1)) + item + "</" + name + ">"});
    } else {
        splices.push_back({cellXfsPos, cellXfsLen, withAttribute(tag, "count", std::to_string(index + 1))});
        splices.push_back({cellXfsEnd, 0, item});
    }
    return applySplices(original, std::move(splices));
}

} // namespace rostrel::workbook::ooxml
