// The shared string table of an .xlsx workbook (xl/sharedStrings.xml): read whole, and new
// strings appended at its end without touching the entries already there. Internal.
#pragma once

#include "platform/workbook/OoxmlXml.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace rostrel::workbook::ooxml {

struct SharedStrings {
    std::vector<std::string> strings;
    std::vector<uint8_t> plain;          // a single <t>, no runs: may be reused for a new cell of that text
    std::string prefix;                  // of <sst>
    uint64_t startPos = 0, startLen = 0; // the <sst> start tag
    uint64_t endPos = 0;                 // </sst>, or the end of an empty <sst/>
    bool empty = false;                  // written as <sst/>
    uint64_t count = 0;                  // its count attribute (references), 0 when absent
    bool hasCount = false;

    static SharedStrings parse(const FileBytes& xml, const std::string& part);
};

// New strings for one save; the table itself stays as read.
class StringAppender {
public:
    explicit StringAppender(const SharedStrings& table) : table_(table) {}
    // The index of a plain entry of this text, or of a new one.
    uint32_t indexFor(const std::string& text);
    bool changed() const { return !appended_.empty() || references_ > 0; }
    FileBytes apply(const FileBytes& original) const;

    // What was asked for until now; `rollback` forgets everything asked for since, when the
    // cells it was asked for are not written after all (they may be asked for again).
    struct Mark {
        size_t appended = 0;
        uint64_t references = 0;
    };
    Mark mark() const { return {appended_.size(), references_}; }
    void rollback(const Mark& m);

private:
    const SharedStrings& table_;
    std::unordered_map<std::string, uint32_t> lookup_;
    bool built_ = false;
    std::vector<std::string> appended_;
    uint64_t references_ = 0;
};

// "<t>" element text: preserves blanks at either end.
std::string textElement(const std::string& prefix, const std::string& text);

} // namespace rostrel::workbook::ooxml
