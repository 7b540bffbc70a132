// An in-memory spreadsheet engine: roll books held in a fake "disk", opened into workbooks
// that behave like the real engine's (1-based sheets, the active sheet, save, close,
// read-only, changed-on-disk and reload), with switches to make saving fail.
#pragma once

#include "platform/workbook/Workbook.h"

#include <functional>
#include <map>
#include <memory>
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
    bool readOnly = false;
    int version = 0; // bumped by every save and by changes "from another program"
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

class FakeWorkbook : public workbook::Workbook {
public:
    FakeWorkbook(FakeDisk& disk, std::string path) : disk_(disk), path_(std::move(path)) { load(); }

    const std::string& path() const override { return path_; }
    std::string name() const override {
        const auto slash = path_.find_last_of('/');
        return slash == std::string::npos ? path_ : path_.substr(slash + 1);
    }
    bool readOnly() const override { return readOnly_; }
    int sheetCount() const override { return static_cast<int>(sheets_.size()); }
    std::string sheetName(int index) const override { return sheet(index).name; }
    void activate(int index) override {
        sheet(index);
        active_ = index;
    }
    int activeSheet() const override { return active_; }
    workbook::CellValue cell(int row, int column) const override {
        checkCell(row, column);
        return sheet(active_).get(row, column);
    }
    void forEachCell(const std::function<void(int, int, const workbook::CellValue&)>& visit) const override {
        for (const auto& [at, v] : sheet(active_).cells)
            visit(at.first, at.second, v);
    }
    void setCell(int row, int column, const workbook::CellValue& value) override {
        checkCell(row, column);
        sheet(active_).set(row, column, value);
    }
    void save() override {
        if (closed_)
            throw workbook::WorkbookError(workbook::WorkbookError::Code::Io, "closed");
        if (readOnly_)
            throw workbook::WorkbookError(workbook::WorkbookError::Code::ReadOnly, "read-only");
        if (disk_.failSave)
            throw workbook::WorkbookError(workbook::WorkbookError::Code::Io, "disk full");
        FakeFile& f = disk_.files.at(path_);
        f.sheets = sheets_;
        version_ = ++f.version;
        ++disk_.saves;
    }
    void close() override { closed_ = true; }
    bool isClosed() const override { return closed_; }
    bool changedOnDisk() const override {
        auto it = disk_.files.find(path_);
        return it != disk_.files.end() && it->second.version != version_;
    }
    void reload() override {
        const int active = active_;
        load();
        if (active <= sheetCount())
            active_ = active;
        ++reloads;
    }

    int reloads = 0;

private:
    void load() {
        auto it = disk_.files.find(path_);
        if (it == disk_.files.end())
            throw workbook::WorkbookError(workbook::WorkbookError::Code::Io, "no such file");
        sheets_ = it->second.sheets;
        readOnly_ = it->second.readOnly;
        version_ = it->second.version;
        active_ = 1;
    }
    const FakeSheet& sheet(int index) const {
        if (index < 1 || index > sheetCount())
            throw workbook::WorkbookError(workbook::WorkbookError::Code::NoSuchSheet, "no such sheet");
        return sheets_[static_cast<size_t>(index - 1)];
    }
    FakeSheet& sheet(int index) { return const_cast<FakeSheet&>(std::as_const(*this).sheet(index)); }
    static void checkCell(int row, int column) {
        if (row < 1 || row > 65536 || column < 1 || column > 256)
            throw workbook::WorkbookError(workbook::WorkbookError::Code::BadCell, "bad cell");
    }

    FakeDisk& disk_;
    std::string path_;
    std::vector<FakeSheet> sheets_;
    bool readOnly_ = false;
    int version_ = 0;
    int active_ = 1;
    bool closed_ = false;
};

class FakeApplication : public workbook::Application {
public:
    explicit FakeApplication(FakeDisk& disk) : disk_(disk) {}

    int workbookCount() const override { return static_cast<int>(openBooks().size()); }
    workbook::Workbook& workbook(int index) override {
        auto books = openBooks();
        if (index < 1 || index > static_cast<int>(books.size()))
            throw workbook::WorkbookError(workbook::WorkbookError::Code::NoSuchSheet, "no such workbook");
        return *books[static_cast<size_t>(index - 1)];
    }
    workbook::Workbook& open(const std::string& path) override {
        auto book = std::make_unique<FakeWorkbook>(disk_, path);
        ++disk_.opens;
        all_.push_back(std::move(book));
        return *all_.back();
    }
    void setVisible(bool visible) override {
        if (visible)
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
