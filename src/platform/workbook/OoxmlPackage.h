// The package structure of an .xlsx file: relationships, content types and the workbook part
// (sheet list, date system, calculation settings). Internal to the engine.
#pragma once

#include "platform/workbook/OoxmlXml.h"

#include <string>
#include <vector>

namespace rostrel::workbook::ooxml {

struct Relationship {
    std::string id, type, target; // target resolved to a package member name
    bool external = false;
    uint64_t pos = 0, end = 0; // the element's bytes in the relationships part
};

// "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels"; "" -> "_rels/.rels".
std::string relationshipsPartOf(const std::string& part);
// A relationship target relative to the part that holds it, as a member name.
std::string resolveTarget(const std::string& sourcePart, const std::string& target);
std::vector<Relationship> parseRelationships(const FileBytes& xml, const std::string& relsPart,
                                             const std::string& sourcePart);
// Whether a relationship type is the given kind ("worksheet", "sharedStrings"...), transitional
// or strict.
bool relationshipIs(const std::string& type, std::string_view kind);
bool isStrictType(const std::string& type);

// Override elements of [Content_Types].xml, for removing a part's entry.
struct ContentOverride {
    std::string partName; // without the leading "/"
    uint64_t pos = 0, end = 0;
};
std::vector<ContentOverride> parseContentTypes(const FileBytes& xml);

struct WorkbookInfo {
    struct Sheet {
        std::string name, relId;
    };
    std::vector<Sheet> sheets;
    bool date1904 = false;
    bool strict = false;
    std::string prefix; // of the root element, for new elements
    // <calcPr>: its start tag, or where one would go.
    bool hasCalcPr = false;
    uint64_t calcPrPos = 0, calcPrLen = 0;
    uint64_t calcPrInsertAt = 0;
};
WorkbookInfo parseWorkbook(const FileBytes& xml, const std::string& part);

// A start tag with one attribute set (replaced, or added before the tag's end).
std::string withAttribute(std::string_view startTag, std::string_view name, std::string_view value);

} // namespace rostrel::workbook::ooxml
