// The .xlsx / .xlsm codec: worksheets read from the package's parts, edits written by splicing
// the changed cells into the worksheet part and copying every other member as it was.
#pragma once

#include "platform/workbook/Codec.h"
#include "platform/workbook/OoxmlPackage.h"
#include "platform/workbook/OoxmlSheet.h"
#include "platform/workbook/OoxmlStrings.h"
#include "platform/workbook/OoxmlStyles.h"
#include "platform/workbook/ZipPackage.h"

#include <map>
#include <memory>
#include <optional>

namespace rostrel::workbook {

class OoxmlCodec : public Codec {
public:
    // Throws WorkbookError Damaged (also for Strict Open XML packages, which are not read), or
    // Encrypted for an OLE2 file (what a password-protected .xlsx is).
    explicit OoxmlCodec(FileBytes bytes);

    const char* formatName() const override { return "xlsx"; }
    int maxRows() const override { return ooxml::kMaxRows; }
    int maxColumns() const override { return ooxml::kMaxColumns; }
    bool writable() const override { return true; }
    int sheetCount() const override { return static_cast<int>(sheets_.size()); }
    std::string sheetName(int sheet) const override;
    void loadSheet(int sheet) override;
    CellValue cell(int sheet, int row, int column) const override;
    void forEachCell(int sheet, const std::function<void(int, int, const CellValue&)>& visit) const override;
    void setCell(int sheet, int row, int column, const CellValue& value) override;
    bool hasEdits() const override;
    FileBytes serialize() const override;
    void markSaved() override;

    // The worksheet part of a sheet (for tests and the companion's diagnostics).
    const std::string& sheetPart(int sheet) const;

private:
    struct Sheet {
        std::string name, part;
        mutable std::unique_ptr<ooxml::SheetCells> cells;
        ooxml::CellEdits edits;
    };
    const Sheet& sheetAt(int sheet) const;
    const ooxml::SheetCells& cellsOf(int sheet) const;
    CellValue toValue(const ooxml::SheetCells& cells, const ooxml::StoredCell& c) const;
    void verify(const FileBytes& out) const;

    mutable FileBytes lastSaved_; // the last serialize(), until markSaved()
    zip::Package package_;
    std::string workbookPart_;
    ooxml::WorkbookInfo workbook_;
    std::vector<ooxml::Relationship> workbookRels_;
    std::string sharedStringsPart_, stylesPart_, calcChainPart_;
    ooxml::SharedStrings strings_;
    ooxml::Styles styles_;
    std::vector<Sheet> sheets_;
};

// Reads an .xlsx package. Throws WorkbookError Damaged; an encrypted .xlsx is an OLE2 file,
// which the caller recognises before this (Encrypted here too).
std::unique_ptr<Codec> openOoxmlCodec(FileBytes bytes);

} // namespace rostrel::workbook
