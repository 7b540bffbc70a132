// What the worksheet editing's files share (OoxmlEditScan.cpp finding where rows and cells
// lie, OoxmlSheetEdit.cpp planning the splices of a whole part, OoxmlRowEdit.cpp those of the
// edited rows alone). Internal to the engine.
#pragma once

#include "platform/workbook/OoxmlSheet.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace rostrel::workbook::ooxml::detail {

// Throws WorkbookError Unsupported: "the workbook cannot be saved: <what>".
[[noreturn]] void unsupported(const std::string& what);

using Rect = LockedRange;

struct CellAt {
    int col = 0;
    uint64_t pos = 0, tagLen = 0, end = 0;
    bool hasR = false;
    std::optional<uint32_t> style;
    bool formula = false;
};
struct RowAt {
    int row = 0;
    uint64_t pos = 0, tagLen = 0, endTag = 0; // endTag: </row>, or the end of an empty <row/>
    bool empty = false, hasR = false;
    std::optional<uint32_t> style; // a row format that new cells take
    std::vector<CellAt> cells;     // kept for edited rows only
};

// Where the rows, cells, dimension and formula ranges of a worksheet lie, for an edit: cells are
// kept for the edited rows only, and the read stops past the last of them.
class EditScanner : public XmlHandler, public SheetPlaces {
public:
    EditScanner(const CellEdits& edits, const std::string& part) : part_(part) {
        for (const auto& [rc, v] : edits)
            editedRows_.insert(rc.first);
    }
    XmlParser* parser = nullptr;

    void start(const XName& n, const char** atts, uint64_t pos, uint64_t len) override;
    void end(const XName& n, uint64_t pos, uint64_t len) override;

    bool stoppedEarly = false;
    std::vector<RowAt> rows;
    bool ordered = true;
    std::vector<Rect> locked;

private:
    const std::string& part_;
    std::set<int> editedRows_;
    int depth_ = 0;
    bool inData_ = false, inCols_ = false, keepCells_ = false, cellOpen_ = false;
    int col_ = 0, cellRow_ = 0;
};

// A qualified name: "row" or "x:row".
inline std::string q(const std::string& prefix, const char* local) {
    return prefix.empty() ? local : prefix + ":" + local;
}

struct BuiltSplices {
    std::vector<Splice> splices;
    bool formulaRemoved = false;
};

// The splices of the edits, ascending, from where the scan found the rows and cells; throws
// Unsupported for rows or cells out of order and cells inside formula ranges.
BuiltSplices buildSplices(const EditScanner& scan, const std::string& part, const CellEdits& edits,
                          const CellRenderer& render);

} // namespace rostrel::workbook::ooxml::detail
