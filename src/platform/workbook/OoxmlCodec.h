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
#include <set>

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
    // A sheet saved by editing only the deflate blocks around its edited rows.
    struct QuickSave {
        size_t sheet = 0;
        std::vector<ooxml::Touched> touched;
        std::vector<zip::Region> regions;
        std::vector<zip::ContentEdit> edits;
        zip::EditedMember member;
    };
    // What the last serialize() wrote, until markSaved(): the package read back, and the cells
    // of the sheets saved quickly (the others are read again when needed).
    struct Saved {
        std::unique_ptr<OoxmlCodec> codec;
        std::map<size_t, std::unique_ptr<ooxml::SheetCells>> sheets;
    };

    const Sheet& sheetAt(int sheet) const;
    const ooxml::SheetCells& cellsOf(int sheet) const;
    CellValue toValue(const ooxml::SheetCells& cells, const ooxml::StoredCell& c) const;
    std::optional<QuickSave> quickSave(size_t sheet, const ooxml::CellRenderer& render, bool& formulaRemoved) const;
    std::unique_ptr<Saved> verify(const FileBytes& out, const std::map<std::string, FileBytes>& replaced,
                                  const std::set<std::string>& removed, const std::vector<QuickSave>& quick) const;
    std::unique_ptr<ooxml::SheetCells> verifyRows(const OoxmlCodec& back, const QuickSave& q) const;

    mutable std::unique_ptr<Saved> saved_;
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
