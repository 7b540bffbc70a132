// The codec of Excel 97-2003 workbooks (.xls: BIFF8 in an OLE2 compound document; BIFF5/7 read
// only), over the engine's container and record code. Internal to the engine.
#pragma once

#include "platform/workbook/Codec.h"
#include "platform/workbook/Engine.h"

#include <set>

namespace rostrel::workbook {

class XlsCodec final : public Codec {
public:
    // Parses the file; throws WorkbookError (NotOle, Encrypted, NoWorkbookStream, Damaged).
    explicit XlsCodec(const FileBytes& bytes);

    const char* formatName() const override { return "xls"; }
    int maxRows() const override { return 65536; }
    int maxColumns() const override { return 256; }
    bool writable() const override { return file_.book->biffVersion() == 8; }

    int sheetCount() const override { return static_cast<int>(file_.book->worksheets().size()); }
    std::string sheetName(int sheet) const override { return file_.book->worksheets()[sheet - 1].name; }
    void loadSheet(int sheet) override { file_.book->sheetCells(sheet - 1); }
    CellValue cell(int sheet, int row, int column) const override;
    void forEachCell(int sheet, const std::function<void(int, int, const CellValue&)>& visit) const override;
    void setCell(int sheet, int row, int column, const CellValue& value) override;
    bool hasEdits() const override { return file_.book->hasEdits(); }
    FileBytes serialize() const override;
    void markSaved() override;

private:
    LoadedFile file_;
    // Cells written since the last save, by sheet: (row << 8 | column), 0-based. New cells are
    // not among the parsed ones and must still be enumerated.
    std::vector<std::set<uint32_t>> written_;
    mutable xls::Bytes savedStream_;               // the workbook stream of the last serialize()
    mutable std::unique_ptr<xls::Book> savedBook_; // that stream read back by its check
};

} // namespace rostrel::workbook
