// Opening an .xlsx package: the package relationships, the workbook part, shared strings and
// styles, and the list of worksheets. Cells are read in OoxmlCodecCells.cpp, saves written in
// OoxmlCodecSave.cpp and checked in OoxmlCodecVerify.cpp.
#include "platform/workbook/OoxmlCodec.h"

#include <algorithm>

namespace rostrel::workbook {

using namespace ooxml;

namespace {

[[noreturn]] void damaged(const std::string& what) {
    throw WorkbookError(WorkbookError::Code::Damaged, "the workbook is damaged: " + what);
}

[[noreturn]] void strict() {
    throw WorkbookError(
        WorkbookError::Code::Damaged,
        "the workbook is saved as Strict Open XML, which cannot be read; save it as an ordinary .xlsx workbook");
}

const Relationship* findRel(const std::vector<Relationship>& rels, std::string_view kind) {
    for (const Relationship& r : rels)
        if (!r.external && relationshipIs(r.type, kind))
            return &r;
    return nullptr;
}

// A password-protected .xlsx is an OLE2 compound file around the encrypted package.
FileBytes refuseEncrypted(FileBytes bytes) {
    static const uint8_t kOle2[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (bytes.size() >= sizeof kOle2 && std::equal(std::begin(kOle2), std::end(kOle2), bytes.begin()))
        throw WorkbookError(WorkbookError::Code::Encrypted, "the workbook is encrypted (password protected)");
    return bytes;
}

} // namespace

OoxmlCodec::OoxmlCodec(FileBytes bytes) : package_(zip::Package::read(refuseEncrypted(std::move(bytes)))) {
    if (!package_.has("[Content_Types].xml"))
        damaged("the package has no [Content_Types].xml");
    std::vector<Relationship> rootRels;
    if (package_.has("_rels/.rels"))
        rootRels = parseRelationships(package_.member("_rels/.rels"), "_rels/.rels", "");
    for (const Relationship& r : rootRels)
        if (isStrictType(r.type))
            strict();
    const Relationship* office = findRel(rootRels, "officeDocument");
    workbookPart_ = office ? office->target : "xl/workbook.xml";
    if (!package_.has(workbookPart_))
        damaged("the package has no workbook part");
    workbook_ = parseWorkbook(package_.member(workbookPart_), workbookPart_);
    if (workbook_.strict)
        strict();
    const std::string relsPart = relationshipsPartOf(workbookPart_);
    if (package_.has(relsPart))
        workbookRels_ = parseRelationships(package_.member(relsPart), relsPart, workbookPart_);

    if (const Relationship* r = findRel(workbookRels_, "sharedStrings"); r && package_.has(r->target))
        sharedStringsPart_ = r->target;
    if (const Relationship* r = findRel(workbookRels_, "styles"); r && package_.has(r->target))
        stylesPart_ = r->target;
    else if (package_.has("xl/styles.xml"))
        stylesPart_ = "xl/styles.xml";
    if (const Relationship* r = findRel(workbookRels_, "calcChain"); r && package_.has(r->target))
        calcChainPart_ = r->target;
    if (!sharedStringsPart_.empty())
        strings_ = SharedStrings::parse(package_.member(sharedStringsPart_), sharedStringsPart_);
    if (!stylesPart_.empty())
        styles_ = Styles::parse(package_.member(stylesPart_), stylesPart_);

    for (const WorkbookInfo::Sheet& s : workbook_.sheets) {
        for (const Relationship& r : workbookRels_) {
            if (r.id != s.relId || r.external)
                continue;
            // Chart sheets, dialog and macro sheets are no worksheets; a sheet whose part is
            // missing is left out as the office suites do.
            if (relationshipIs(r.type, "worksheet") && package_.has(r.target)) {
                Sheet sheet;
                sheet.name = s.name;
                sheet.part = r.target;
                sheets_.push_back(std::move(sheet));
            }
            break;
        }
    }
}

std::unique_ptr<Codec> openOoxmlCodec(FileBytes bytes) {
    return std::make_unique<OoxmlCodec>(std::move(bytes));
}

const OoxmlCodec::Sheet& OoxmlCodec::sheetAt(int sheet) const {
    if (sheet < 1 || sheet > sheetCount())
        throw WorkbookError(WorkbookError::Code::NoSuchSheet, "no such sheet");
    return sheets_[static_cast<size_t>(sheet - 1)];
}

std::string OoxmlCodec::sheetName(int sheet) const {
    return sheetAt(sheet).name;
}

const std::string& OoxmlCodec::sheetPart(int sheet) const {
    return sheetAt(sheet).part;
}

} // namespace rostrel::workbook
