// rostrel-book: lists the sheets of an .xls roll book, dumps a sheet's cells, sets one cell.
#include "Escape.h"
#include "Version.h"
#include "platform/workbook/Workbook.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

using namespace rostrel::workbook;
using rostrel::book::escapeField;

namespace {

const char* kUsage = "usage: rostrel-book sheets FILE\n"
                     "       rostrel-book dump FILE SHEET\n"
                     "       rostrel-book set [--text | --clear] FILE SHEET ROW COLUMN [VALUE]\n"
                     "\n"
                     "SHEET is a 1-based sheet number or a sheet name (a number in range is taken as a number).\n"
                     "ROW and COLUMN are 1-based. dump prints row, column, type (number, date, text, bool, error)\n"
                     "and value, separated by tabs; dates print as their serial number. Texts and sheet names\n"
                     "escape tab, CR, LF and backslash as \\t, \\r, \\n and \\\\. set writes a number, or a text\n"
                     "with --text, or empties the cell with --clear, and saves the file.\n";

struct UsageError {
    std::string message;
};

std::string shortest(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
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

std::vector<std::string> sheetNames(const Workbook& book) {
    std::vector<std::string> names;
    for (int i = 1; i <= book.sheetCount(); ++i)
        names.push_back(book.sheetName(i));
    return names;
}

// Standard output as one block; a full disk or a closed pipe is an error.
void writeOut(const std::string& out) {
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0)
        throw WorkbookError(WorkbookError::Code::Io, std::string("cannot write the output: ") + std::strerror(errno));
}

int cmdSheets(const std::vector<std::string>& args) {
    if (args.size() != 1)
        throw UsageError{"sheets takes one FILE"};
    auto book = openWorkbook(args[0], Access::ReadOnly);
    std::string out;
    for (const auto& name : sheetNames(*book))
        out += escapeField(name) + "\n";
    writeOut(out);
    return 0;
}

int cmdDump(const std::vector<std::string>& args) {
    if (args.size() != 2)
        throw UsageError{"dump takes FILE and SHEET"};
    auto book = openWorkbook(args[0], Access::ReadOnly);
    book->activate(sheetIndex(sheetNames(*book), args[1]));
    std::string out;
    book->forEachCell([&](int row, int column, const CellValue& v) {
        out += std::to_string(row) + "\t" + std::to_string(column) + "\t";
        switch (v.kind) {
        case CellValue::Kind::Empty:
            break;
        case CellValue::Kind::Number:
            out += "number\t" + shortest(v.number);
            break;
        case CellValue::Kind::Date:
            out += "date\t" + shortest(v.number);
            break;
        case CellValue::Kind::Text:
            out += "text\t" + escapeField(v.text);
            break;
        case CellValue::Kind::Bool:
            out += std::string("bool\t") + (v.boolean ? "TRUE" : "FALSE");
            break;
        case CellValue::Kind::Error:
            out += std::string("error\t") + errorText(v.error);
            break;
        }
        out += "\n";
    });
    writeOut(out);
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
        throw WorkbookError(WorkbookError::Code::ReadOnly, rest[0] + " is read-only or open in another program");
    book->activate(sheetIndex(sheetNames(*book), rest[1]));
    book->setCell(static_cast<int>(row), static_cast<int>(col), value);
    book->save();
    book->close();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // A file-size limit makes the save fail with an error instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
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
