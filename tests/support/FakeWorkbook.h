// An in-memory spreadsheet engine: roll books held in a fake "disk", opened into workbooks
// that behave like the real engine's (1-based sheets, the active sheet, save, close,
// read-only, changed-on-disk and reload), with switches to make saving fail. The contract
// tests in tests/platform/workbook hold it to the real engine.
#pragma once

#include "platform/workbook/Workbook.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rostrel::test {

struct FakeSheet {
    std::string name;
    std::map<std::pair<int, int>, workbook::CellValue> cells;

    void set(int row, int column, workbook::CellValue v) {
        if (v.isEmpty())
            cells.erase({row, column});
        else
            cells[{row, column}] = std::move(v);
    }
    void setNumber(int row, int column, double v) { set(row, column, workbook::CellValue::fromNumber(v)); }
    void setText(int row, int column, const std::string& t) { set(row, column, workbook::CellValue::fromText(t)); }
    workbook::CellValue get(int row, int column) const {
        auto it = cells.find({row, column});
        return it == cells.end() ? workbook::CellValue() : it->second;
    }
};

struct FakeFile {
    std::vector<FakeSheet> sheets;
    bool readOnly = false; // another program has it open, or it cannot be written
    int version = 0;       // bumped by every save and by changes "from another program"
    // What opening it throws instead (NotOle for a text file, Damaged for a cut-off one).
    std::optional<workbook::WorkbookError::Code> refusal;
    // The .xls limits unless a test says otherwise.
    int maxRows = 65536;
    int maxColumns = 256;
    const void* holder = nullptr; // the writable workbook that holds it, as the lock file says
};

// The files the fake engine can open, by path, and what happened to them.
struct FakeDisk {
    std::map<std::string, FakeFile> files;
    int opens = 0;
    int saves = 0;
    bool failSave = false;
    int visibleCalls = 0;

    // Another program changes a file: its version moves on.
    void changeFromOutside(const std::string& path, int sheet, int row, int column, workbook::CellValue v) {
        FakeFile& f = files.at(path);
        f.sheets.at(static_cast<size_t>(sheet - 1)).set(row, column, std::move(v));
        ++f.version;
    }
};

// Refuses what the real engine refuses, with the same error codes: every call on a closed
// workbook, writes to a read-only one, a save over another program's change.
class FakeWorkbook : public workbook::Workbook {
    using Code = workbook::WorkbookError::Code;

public:
    FakeWorkbook(FakeDisk& disk, std::string path) : disk_(disk), path_(std::move(path)) { load(); }

    const std::string& path() const override { return path_; }
    std::string name() const override {
        const auto slash = path_.find_last_of('/');
        return slash == std::string::npos ? path_ : path_.substr(slash + 1);
    }
    bool readOnly() const override {
        checkOpen();
        return readOnly_;
    }
    int sheetCount() const override {
        checkOpen();
        return static_cast<int>(sheets_.size());
    }
    std::string sheetName(int index) const override { return sheet(index).name; }
    void activate(int index) override {
        sheet(index);
        active_ = index;
    }
    int activeSheet() const override {
        checkOpen();
        return active_;
    }
    workbook::CellValue cell(int row, int column) const override {
        const FakeSheet& s = sheet(active_);
        if (row < 1 || column < 1)
            throw workbook::WorkbookError(Code::BadCell, "rows and columns start at 1");
        return s.get(row, column);
    }
    void forEachCell(const std::function<void(int, int, const workbook::CellValue&)>& visit) const override {
        for (const auto& [at, v] : sheet(active_).cells)
            visit(at.first, at.second, v);
    }
    void setCell(int row, int column, const workbook::CellValue& value) override {
        FakeSheet& s = sheet(active_);
        if (readOnly_)
            throw workbook::WorkbookError(Code::ReadOnly, "the workbook is read-only");
        if (row < 1 || column < 1 || row > maxRows_ || column > maxColumns_)
            throw workbook::WorkbookError(Code::BadCell, "the cell lies outside the sheet");
        s.set(row, column, value);
        edited_ = true;
    }
    void save() override {
        checkOpen();
        if (readOnly_)
            throw workbook::WorkbookError(Code::ReadOnly, "the workbook is read-only");
        if (!edited_)
            return;
        if (changedOnDisk())
            throw workbook::WorkbookError(Code::Conflict, "the file was changed by another program");
        if (disk_.failSave)
            throw workbook::WorkbookError(Code::Io, "disk full");
        FakeFile& f = disk_.files.at(path_);
        f.sheets = sheets_;
        version_ = ++f.version;
        edited_ = false;
        ++disk_.saves;
    }
    void close() override {
        if (closed_)
            return;
        closed_ = true;
        auto it = disk_.files.find(path_);
        if (it != disk_.files.end() && it->second.holder == this)
            it->second.holder = nullptr;
        sheets_.clear();
    }
    bool isClosed() const override { return closed_; }
    bool changedOnDisk() const override {
        checkOpen();
        auto it = disk_.files.find(path_);
        return it == disk_.files.end() || it->second.version != version_;
    }
    void reload() override {
        checkOpen();
        const int active = active_;
        load();
        if (active <= static_cast<int>(sheets_.size()))
            active_ = active;
        ++reloads;
    }

    int reloads = 0;

private:
    void load() {
        auto it = disk_.files.find(path_);
        if (it == disk_.files.end())
            throw workbook::WorkbookError(Code::Io, "no such file");
        FakeFile& f = it->second;
        if (f.refusal)
            throw workbook::WorkbookError(*f.refusal, "refused");
        sheets_ = f.sheets;
        version_ = f.version;
        maxRows_ = f.maxRows;
        maxColumns_ = f.maxColumns;
        active_ = 1;
        edited_ = false;
        if (!f.holder && !f.readOnly)
            f.holder = this;
        readOnly_ = f.holder != this;
    }
    void checkOpen() const {
        if (closed_)
            throw workbook::WorkbookError(Code::Closed, "the workbook was closed");
    }
    const FakeSheet& sheet(int index) const {
        checkOpen();
        if (index < 1 || index > static_cast<int>(sheets_.size()))
            throw workbook::WorkbookError(Code::NoSuchSheet, "no such sheet");
        return sheets_[static_cast<size_t>(index - 1)];
    }
    FakeSheet& sheet(int index) { return const_cast<FakeSheet&>(std::as_const(*this).sheet(index)); }

    FakeDisk& disk_;
    std::string path_;
    std::vector<FakeSheet> sheets_;
    bool readOnly_ = false;
    bool edited_ = false;
    int version_ = 0;
    int maxRows_ = 0;
    int maxColumns_ = 0;
    int active_ = 1;
    bool closed_ = false;
};

class FakeApplication : public workbook::Application {
public:
    explicit FakeApplication(FakeDisk& disk) : disk_(disk) {}
    ~FakeApplication() override { quit(); }

    int workbookCount() const override { return static_cast<int>(openBooks().size()); }
    workbook::Workbook& workbook(int index) override {
        auto books = openBooks();
        if (index < 1 || index > static_cast<int>(books.size()))
            throw workbook::WorkbookError(workbook::WorkbookError::Code::NoSuchWorkbook, "no such workbook");
        return *books[static_cast<size_t>(index - 1)];
    }
    // A book already open is that workbook again, as it is (not read anew).
    workbook::Workbook& open(const std::string& path) override {
        for (FakeWorkbook* b : openBooks())
            if (b->path() == path)
                return *b;
        auto book = std::make_unique<FakeWorkbook>(disk_, path);
        ++disk_.opens;
        all_.push_back(std::move(book));
        return *all_.back();
    }
    void setVisible(bool visible) override {
        if (visible && !openBooks().empty())
            ++disk_.visibleCalls;
    }
    void quit() override {
        for (auto& b : all_)
            b->close();
    }

private:
    std::vector<FakeWorkbook*> openBooks() const {
        std::vector<FakeWorkbook*> books;
        for (const auto& b : all_)
            if (!b->isClosed())
                books.push_back(b.get());
        return books;
    }
    FakeDisk& disk_;
    std::vector<std::unique_ptr<FakeWorkbook>> all_; // closed workbooks stay alive
};

// A class sheet: title in row 1, headers in row 2, students 1..count from row 3 with
// number, name "学生<i>", and when groupSize > 0 group and member numbers group by group.
inline FakeSheet classSheet(const std::string& name, int count, int groupSize = 0) {
    FakeSheet s;
    s.name = name;
    s.setText(1, 1, name + "名单");
    s.setText(2, 1, "学号");
    s.setText(2, 2, "姓名");
    s.setText(2, 5, "组号");
    s.setText(2, 6, "组员号");
    for (int i = 1; i <= count; ++i) {
        s.setNumber(i + 2, 1, i);
        s.setText(i + 2, 2, "学生" + std::to_string(i));
        if (groupSize > 0) {
            s.setNumber(i + 2, 5, (i - 1) / groupSize + 1);
            s.setNumber(i + 2, 6, (i - 1) % groupSize + 1);
        }
    }
    return s;
}

} // namespace rostrel::test
