// The engine's format seam: one codec per file format reads a whole workbook file held in
// memory and writes it back with edited cells, changing nothing else. The file session above
// it (paths, lock files, change stamp, atomic replace) knows no format. Plain C++: no Qt and no
// GLib in this header.
#pragma once

#include "platform/workbook/Workbook.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rostrel::workbook {

using FileBytes = std::vector<uint8_t>;

class Codec {
public:
    virtual ~Codec() = default;

    // "xls", "xlsx" or "ods": for messages and the companion's output.
    virtual const char* formatName() const = 0;
    // The largest row and column the format can hold (1-based, inclusive).
    virtual int maxRows() const = 0;
    virtual int maxColumns() const = 0;
    // Whether the file may be written at all (a BIFF5 workbook is read but never written).
    virtual bool writable() const = 0;

    // Worksheets only, 1-based in workbook order.
    virtual int sheetCount() const = 0;
    virtual std::string sheetName(int sheet) const = 0;
    // Parses a sheet on first use; throws WorkbookError Damaged for a broken sheet.
    virtual void loadSheet(int sheet) = 0;
    // 1-based row and column inside the format's limits; empty outside the used range.
    virtual CellValue cell(int sheet, int row, int column) const = 0;
    // Every non-empty cell of a sheet, rows ascending, columns ascending within a row.
    virtual void forEachCell(int sheet,
                             const std::function<void(int row, int column, const CellValue&)>& visit) const = 0;
    // Records an edit (kept until serialize); throws Unsupported for a cell that cannot be
    // changed alone (inside an array formula, say).
    virtual void setCell(int sheet, int row, int column, const CellValue& value) = 0;
    virtual bool hasEdits() const = 0;
    // The whole file with every edit applied, verified by reading it back; the codec itself
    // does not change. Throws WorkbookError (Unsupported, Damaged, OldFormat).
    virtual FileBytes serialize() const = 0;
    // The bytes of the last serialize() are now the file: they become the codec's state, and
    // the edits are done.
    virtual void markSaved() = 0;
};

// Chooses the codec by the file's content, never by its name, and parses the file.
// Throws WorkbookError: NotOle for a file of no known workbook format, Encrypted, OldFormat,
// Damaged.
std::unique_ptr<Codec> openCodec(FileBytes bytes);

} // namespace rostrel::workbook
