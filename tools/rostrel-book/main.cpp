// rostrel-book: lists the sheets of an .xls roll book, dumps a sheet's cells, sets one cell.
#include "Version.h"
#include "platform/workbook/Engine.h"
#include "platform/workbook/Workbook.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

using namespace rostrel::workbook;

namespace {

const char* kUsage =
    "usage: rostrel-book sheets FILE\n"
    "       rostrel-book dump FILE SHEET\n"
    "       rostrel-book set [--text | --clear] FILE SHEET ROW COLUMN [VALUE]\n"
    "\n"
    "SHEET is a 1-based sheet number or a sheet name (a number in range is taken as a number).\n"
    "ROW and COLUMN are 1-based. dump prints row, column, type (number, date, text, bool, error)\n"
    "and value, separated by tabs; dates print as their serial number, text escapes tab, CR, LF\n"
    "and backslash as \\t, \\r, \\n and \\\\. set writes a number, or a text with --text, or empties\n"
    "the cell with --clear, and saves the file.\n";

struct UsageError {
    std::string message;
};

std::string shortest(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\\': out += "\\\\"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

bool parseInt(const std::string& s, long& v) {
    if (s.empty())
        return false;
    auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    return res.ec == std::errc() && res.ptr == s.data() + s.size();
}

int sheetIndex(const std::vector<std::string>& names, const std::string& arg) {
    long n;
    if (parseInt(arg, n) && n >= 1 && n <= static_cast<long>(names.size()))
        return static_cast<int>(n);
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == arg)
            return static_cast<int>(i) + 1;
    throw WorkbookError(WorkbookError::Code::NoSuchSheet, "no sheet \"" + arg + "\"");
}

LoadedFile loadFile(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw WorkbookError(WorkbookError::Code::Io, "cannot open " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> data;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        data.insert(data.end(), buf, buf + n);
    const bool bad = std::ferror(f);
    std::fclose(f);
    if (bad)
        throw WorkbookError(WorkbookError::Code::Io, "cannot read " + path);
    return loadXls(data.data(), data.size());
}

std::vector<std::string> sheetNames(const xls::Book& book) {
    std::vector<std::string> names;
    for (const auto& s : book.worksheets())
        names.push_back(s.name);
    return names;
}

int cmdSheets(const std::vector<std::string>& args) {
    if (args.size() != 1)
        throw UsageError{"sheets takes one FILE"};
    LoadedFile file = loadFile(args[0]);
    std::string out;
    for (const auto& name : sheetNames(*file.book))
        out += name + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int cmdDump(const std::vector<std::string>& args) {
    if (args.size() != 2)
        throw UsageError{"dump takes FILE and SHEET"};
    LoadedFile file = loadFile(args[0]);
    const int sheet = sheetIndex(sheetNames(*file.book), args[1]) - 1;
    const xls::SheetCells& cells = file.book->sheetCells(sheet);
    std::string out;
    for (size_t r = 0; r < cells.rows.size(); ++r) {
        for (const xls::StoredCell& c : cells.rows[r]) {
            if (c.col > 255)
                continue;
            const CellValue v = file.book->cell(sheet, static_cast<int>(r), c.col);
            out += std::to_string(r + 1) + "\t" + std::to_string(c.col + 1) + "\t";
            switch (v.kind) {
            case CellValue::Kind::Empty: break;
            case CellValue::Kind::Number: out += "number\t" + shortest(v.number); break;
            case CellValue::Kind::Date: out += "date\t" + shortest(v.number); break;
            case CellValue::Kind::Text: out += "text\t" + escape(v.text); break;
            case CellValue::Kind::Bool: out += std::string("bool\t") + (v.boolean ? "TRUE" : "FALSE"); break;
            case CellValue::Kind::Error: {
                const char* t = xls::errorText(v.error);
                char buf[16];
                if (!*t) {
                    std::snprintf(buf, sizeof buf, "#ERR%02X", v.error);
                    t = buf;
                }
                out += std::string("error\t") + t;
                break;
            }
            }
            out += "\n";
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int cmdSet(std::vector<std::string> args) {
    bool text = false, clear = false;
    std::vector<std::string> rest;
    for (const auto& a : args) {
        if (a == "--text")
            text = true;
        else if (a == "--clear")
            clear = true;
        else
            rest.push_back(a);
    }
    if (text && clear)
        throw UsageError{"--text and --clear exclude each other"};
    if (rest.size() != (clear ? 4u : 5u))
        throw UsageError{clear ? "set --clear takes FILE SHEET ROW COLUMN" : "set takes FILE SHEET ROW COLUMN VALUE"};
    long row, col;
    if (!parseInt(rest[2], row) || row < 1 || row > 65536)
        throw UsageError{"ROW must be a number from 1 to 65536"};
    if (!parseInt(rest[3], col) || col < 1 || col > 256)
        throw UsageError{"COLUMN must be a number from 1 to 256"};
    CellValue value;
    if (text) {
        value = CellValue::fromText(rest[4]);
    } else if (!clear) {
        const std::string& s = rest[4];
        double d = 0;
        auto res = std::from_chars(s.data(), s.data() + s.size(), d);
        if (s.empty() || res.ec != std::errc() || res.ptr != s.data() + s.size() || !std::isfinite(d))
            throw UsageError{"VALUE \"" + s + "\" is not a number (use --text for a text)"};
        value = CellValue::fromNumber(d);
    }
    auto book = openWorkbook(rest[0]);
    if (book->readOnly())
        throw WorkbookError(WorkbookError::Code::ReadOnly,
                            rest[0] + " is read-only or open in another program");
    std::vector<std::string> names;
    for (int i = 1; i <= book->sheetCount(); ++i)
        names.push_back(book->sheetName(i));
    book->activate(sheetIndex(names, rest[1]));
    book->setCell(static_cast<int>(row), static_cast<int>(col), value);
    book->save();
    book->close();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::fputs("rostrel-book " ROSTREL_VERSION "\n", stdout);
        return 0;
    }
    const std::string cmd = args[0];
    args.erase(args.begin());
    try {
        if (cmd == "sheets")
            return cmdSheets(args);
        if (cmd == "dump")
            return cmdDump(args);
        if (cmd == "set")
            return cmdSet(args);
        throw UsageError{"unknown command \"" + cmd + "\""};
    } catch (const UsageError& e) {
        std::fprintf(stderr, "rostrel-book: %s\n%s", e.message.c_str(), kUsage);
        return 2;
    } catch (const WorkbookError& e) {
        std::fprintf(stderr, "rostrel-book: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rostrel-book: %s\n", e.what());
        return 1;
    }
}
