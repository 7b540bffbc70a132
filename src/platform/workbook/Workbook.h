// The in-process spreadsheet engine: the automation operations the program uses on a roll
// book (.xls), with no office suite involved. Plain C++: no Qt and no GLib in this header.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rostrel::workbook {

// One cell's value as a spreadsheet shows it. Text is UTF-8.
struct CellValue {
    enum class Kind { Empty, Number, Date, Text, Bool, Error };
    Kind kind = Kind::Empty;
    double number = 0.0; // Number and Date (the date serial number)
    std::string text;    // Text
    // The error values of spreadsheet formulas, as every format knows them.
    enum class ErrorCode : uint8_t { Null, Div0, Value, Ref, Name, Num, NA, GettingData };
    bool boolean = false;              // Bool
    ErrorCode error = ErrorCode::Null; // Error

    static CellValue empty() { return {}; }
    static CellValue fromNumber(double v) {
        CellValue c;
        c.kind = Kind::Number;
        c.number = v;
        return c;
    }
    static CellValue fromDate(double serial) {
        CellValue c;
        c.kind = Kind::Date;
        c.number = serial;
        return c;
    }
    static CellValue fromText(std::string t) {
        CellValue c;
        c.kind = Kind::Text;
        c.text = std::move(t);
        return c;
    }
    static CellValue fromBool(bool b) {
        CellValue c;
        c.kind = Kind::Bool;
        c.boolean = b;
        return c;
    }
    static CellValue fromError(ErrorCode e) {
        CellValue c;
        c.kind = Kind::Error;
        c.error = e;
        return c;
    }

    bool isEmpty() const { return kind == Kind::Empty; }
    friend bool operator==(const CellValue&, const CellValue&) = default;
};

// "#DIV/0!", "#N/A" ...: the text a spreadsheet shows for an error value.
const char* errorText(CellValue::ErrorCode code);
// The error value a spreadsheet shows as `text`; none for other texts.
std::optional<CellValue::ErrorCode> errorFromText(std::string_view text);

// Every refusal and failure of the engine. The program turns these into its own messages.
class WorkbookError : public std::runtime_error {
public:
    enum class Code {
        Io,               // file cannot be read or written
        NotOle,           // not an OLE2 compound document (e.g. BIFF2-4 bare files, text)
        NoWorkbookStream, // OLE2 file without a Workbook/Book stream
        Encrypted,        // FILEPASS or an encrypted package
        OldFormat,        // BIFF5/7 and older: may be read, never written
        Damaged,          // records or container broken
        Unsupported,      // an edit the engine refuses (e.g. inside an array formula)
        ReadOnly,         // write or save on a read-only workbook
        NoSuchSheet,      // sheet index or name out of range
        BadCell,          // row/column out of the format's range
        Closed,           // the workbook was closed
        Conflict,         // save refused: another program saved the file since it was read
        NoSuchWorkbook,   // Application::workbook index out of range
        NotShown,         // no program could be started to show the workbook
    };
    WorkbookError(Code code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

// One open workbook. Sheets are 1-based in workbook order; rows and columns are 1-based
// (column 1 is A). Cell operations work on the active sheet.
//
// Sheets are the worksheets of the workbook (chart sheets, macro sheets and VB modules are not
// counted and cannot be activated). Cell values: a number whose cell format is a date or time
// format (built-in formats 14-22, 27-36, 45-47, 50-58, 71-81, or a custom format with y, m, d, h
// or s outside quotes and brackets) reads as Date; a formula cell reads as its cached result.
// Writes are kept in memory until save(). A value written keeps the cell's format; a new cell
// takes its row's or column's format. Clearing a cell keeps its format (an empty formatted cell).
// After close() every operation except path(), name() and isClosed() throws Closed.
//
// The file: a path through symbolic links is resolved once, at open; lock files, temporary
// files and the check for changes on disk all concern the real file in its real folder.
// Lock files: while a workbook is open and writable, a LibreOffice lock file ".~lock.NAME#" lies
// beside it; an existing lock of another program (LibreOffice's, or Excel's "~$NAME") makes
// the workbook read-only, as does a file or folder that cannot be written. A lock this program
// left behind (its process ended) is taken over. Saves of one file by two processes of this
// program never interleave.
class Workbook {
public:
    virtual ~Workbook() = default;

    virtual const std::string& path() const = 0;
    virtual std::string name() const = 0;                  // file name without its folder
    virtual bool readOnly() const = 0;                     // file not writable, or another program holds it
    virtual int sheetCount() const = 0;                    // worksheets only
    virtual std::string sheetName(int index) const = 0;    // throws NoSuchSheet
    virtual void activate(int index) = 0;                  // throws NoSuchSheet; Damaged for a broken sheet
    virtual int activeSheet() const = 0;                   // 1-based
    virtual CellValue cell(int row, int column) const = 0; // empty outside the used range
    // Every non-empty cell of the active sheet (unsaved writes included), rows ascending,
    // columns ascending within a row.
    virtual void forEachCell(const std::function<void(int row, int column, const CellValue&)>& visit) const = 0;
    virtual void setCell(int row, int column, const CellValue& value) = 0;
    // Writes the changes (nothing when there are none) through a temporary file renamed over
    // the original. Throws on failure, and the file on disk stays intact: ReadOnly, OldFormat
    // (BIFF5/7 files are never written), Conflict (the file changed on disk, even during the
    // save: reload() first), Unsupported, Damaged (the container cannot be rewritten without
    // loss) or Io (a file with several hard links is refused: a rename would split them).
    virtual void save() = 0;
    virtual void close() = 0; // discards unsaved changes, releases the lock file
    virtual bool isClosed() const = 0;
    // Another program saved the file since it was opened or saved: another file under the name,
    // or another size, modification time or change time.
    virtual bool changedOnDisk() const = 0;
    // Reads the file again, keeping the active sheet index when it still exists.
    virtual void reload() = 0;
};

// The "application instance": the set of open workbooks of this run.
class Application {
public:
    virtual ~Application() = default;

    virtual int workbookCount() const = 0;
    virtual Workbook& workbook(int index) = 0; // 1-based, in opening order
    // Opens a file (throws WorkbookError). Closed workbooks leave the collection.
    virtual Workbook& open(const std::string& path) = 0;
    // Shows the active roll book in the desktop's program; throws NotShown when none starts.
    virtual void setVisible(bool visible) = 0;
    virtual void quit() = 0; // closes every workbook without saving
};

// The engine's application. `showFile` opens a file in the desktop's spreadsheet program
// (tests replace it); by default it runs xdg-open.
std::unique_ptr<Application> createApplication(std::function<bool(const std::string&)> showFile = {});

// Opens one workbook outside any application (the command-line companion, tests, benches).
// Opened for reading only, it takes no lock file and is read-only.
enum class Access { ReadWrite, ReadOnly };
std::unique_ptr<Workbook> openWorkbook(const std::string& path, Access access = Access::ReadWrite);

} // namespace rostrel::workbook
