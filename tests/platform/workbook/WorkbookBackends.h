// The engines a roll book can be opened with, each behind one "backend" that makes roll books
// on its disk and does to them what other programs and a failing disk do: the in-memory fake
// of the window tests, and the real engine on real files in each format it reads and writes.
#pragma once

#include "support/FakeWorkbook.h"
#include "support/Fixtures.h"

#include "platform/workbook/OdsContent.h"
#include "platform/workbook/OoxmlSheet.h"
#include "platform/workbook/Workbook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <iomanip>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace rostrel::workbook {

// "number:4.5", "text:张三" ... in test failures, instead of the bytes.
inline void PrintTo(const CellValue& v, std::ostream* os) {
    switch (v.kind) {
    case CellValue::Kind::Empty:
        *os << "empty";
        break;
    case CellValue::Kind::Number:
        *os << "number:" << std::setprecision(17) << v.number;
        break;
    case CellValue::Kind::Date:
        *os << "date:" << std::setprecision(17) << v.number;
        break;
    case CellValue::Kind::Text:
        *os << "text:" << v.text;
        break;
    case CellValue::Kind::Bool:
        *os << "bool:" << (v.boolean ? "TRUE" : "FALSE");
        break;
    case CellValue::Kind::Error:
        *os << "error:" << errorText(v.error);
        break;
    }
}

} // namespace rostrel::workbook

namespace rostrel::test {

// The cells of one sheet by (row, column), 1-based.
using CellMap = std::map<std::pair<int, int>, workbook::CellValue>;

// Every backend's roll books have these worksheets: those of the three-class fixture, whose
// copy in each format is where the real engine starts (it makes no file from nothing).
inline const std::vector<std::string>& contractSheetNames() {
    static const std::vector<std::string> names = {"高一(1)班", "高一(2)班", "高一(3)班"};
    return names;
}

class FakeBackend {
public:
    static constexpr const char* kName = "fake";
    static constexpr int kMaxRows = 65536;
    static constexpr int kMaxColumns = 256;

    workbook::Application& app() { return app_; }
    std::unique_ptr<workbook::Application> otherApplication() { return std::make_unique<FakeApplication>(disk_); }
    int shown() const { return disk_.visibleCalls; }

    // A roll book whose sheets hold exactly `cells` (sheet 1 first; the others empty).
    std::string make(const std::string& name, const std::vector<CellMap>& cells) {
        FakeFile& f = disk_.files[pathOf(name)];
        for (size_t s = 0; s < contractSheetNames().size(); ++s) {
            FakeSheet sheet;
            sheet.name = contractSheetNames()[s];
            if (s < cells.size())
                for (const auto& [at, v] : cells[s])
                    sheet.set(at.first, at.second, v);
            f.sheets.push_back(std::move(sheet));
        }
        return pathOf(name);
    }
    std::string missing(const std::string& name) { return pathOf(name); }
    std::string notRollBook(const std::string& name) {
        disk_.files[pathOf(name)].refusal = workbook::WorkbookError::Code::NotOle;
        return pathOf(name);
    }
    std::string damaged(const std::string& name) {
        disk_.files[pathOf(name)].refusal = workbook::WorkbookError::Code::Damaged;
        return pathOf(name);
    }

    void changeFromOutside(const std::string& path, int sheet, int row, int column, const workbook::CellValue& v) {
        disk_.changeFromOutside(path, sheet, row, column, v);
    }
    void remove(const std::string& path) { disk_.files.erase(path); }
    void makeReadOnly(const std::string& path) { disk_.files.at(path).readOnly = true; }
    void failSaves(bool fail) { disk_.failSave = fail; }

private:
    static std::string pathOf(const std::string& name) { return "/fake/" + name; }

    FakeDisk disk_;
    FakeApplication app_{disk_};
};

struct XlsFormat {
    static constexpr const char* kName = "xls";
    static constexpr int kMaxRows = 65536;
    static constexpr int kMaxColumns = 256;
};
struct XlsxFormat {
    static constexpr const char* kName = "xlsx";
    static constexpr int kMaxRows = workbook::ooxml::kMaxRows;
    static constexpr int kMaxColumns = workbook::ooxml::kMaxColumns;
};
struct OdsFormat {
    static constexpr const char* kName = "ods";
    static constexpr int kMaxRows = workbook::ods::kMaxRows;
    static constexpr int kMaxColumns = workbook::ods::kMaxColumns;
};

template <typename Format> class EngineBackend {
public:
    static constexpr const char* kName = Format::kName;
    static constexpr int kMaxRows = Format::kMaxRows;
    static constexpr int kMaxColumns = Format::kMaxColumns;

    EngineBackend() {
        app_ = workbook::createApplication([this](const std::string&) {
            ++shown_;
            return true;
        });
    }
    ~EngineBackend() { failSaves(false); }
    EngineBackend(const EngineBackend&) = delete;
    EngineBackend& operator=(const EngineBackend&) = delete;

    workbook::Application& app() { return *app_; }
    std::unique_ptr<workbook::Application> otherApplication() {
        return workbook::createApplication([](const std::string&) { return true; });
    }
    int shown() const { return shown_; }

    std::string make(const std::string& name, const std::vector<CellMap>& cells) {
        const std::string path = pathOf(name);
        copy(blankBook(), path);
        auto book = workbook::openWorkbook(path);
        for (size_t s = 0; s < cells.size(); ++s) {
            book->activate(static_cast<int>(s) + 1);
            for (const auto& [at, v] : cells[s])
                book->setCell(at.first, at.second, v);
        }
        book->save();
        book->close();
        return path;
    }
    std::string missing(const std::string& name) { return pathOf(name); }
    std::string notRollBook(const std::string& name) {
        const std::string path = pathOf(name);
        write(path, "张三\n李四\n");
        return path;
    }
    // The roll book cut off in the middle, as a copy broken off half-way leaves it.
    std::string damaged(const std::string& name) {
        const std::string path = pathOf(name);
        QFile f(QString::fromStdString(blankBook()));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        write(path, bytes.left(bytes.size() / 2).toStdString());
        return path;
    }

    // Another program saves the file: a copy edited and renamed over it, as office suites do.
    void changeFromOutside(const std::string& path, int sheet, int row, int column, const workbook::CellValue& v) {
        const std::string theirs = dir_.filePath(QStringLiteral("theirs.") + QLatin1String(kName)).toStdString();
        copy(path, theirs);
        auto book = workbook::openWorkbook(theirs);
        book->activate(sheet);
        book->setCell(row, column, v);
        book->save();
        book->close();
        EXPECT_EQ(std::rename(theirs.c_str(), path.c_str()), 0);
    }
    void remove(const std::string& path) { EXPECT_EQ(std::remove(path.c_str()), 0); }
    // Another program has it open: its owner file beside it, which even root cannot write past.
    void makeReadOnly(const std::string& path) {
        const auto slash = path.rfind('/');
        write(path.substr(0, slash + 1) + "~$" + path.substr(slash + 1), "other user");
    }
    // A full disk, for root too: files can grow no larger than a roll book's first bytes.
    void failSaves(bool fail) {
        if (fail == failing_)
            return;
        if (fail) {
            ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &savedLimit_), 0);
            savedHandler_ = std::signal(SIGXFSZ, SIG_IGN); // a short write instead of a signal
            struct rlimit small = savedLimit_;
            small.rlim_cur = 1024;
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        } else {
            ::setrlimit(RLIMIT_FSIZE, &savedLimit_);
            std::signal(SIGXFSZ, savedHandler_);
        }
        failing_ = fail;
    }

private:
    std::string pathOf(const std::string& name) const {
        return dir_.filePath(QString::fromStdString(name) + u'.' + QLatin1String(kName)).toStdString();
    }
    static void copy(const std::string& from, const std::string& to) {
        QFile::remove(QString::fromStdString(to));
        ASSERT_TRUE(QFile::copy(QString::fromStdString(from), QString::fromStdString(to))) << from;
        QFile::setPermissions(QString::fromStdString(to), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }
    static void write(const std::string& path, const std::string& bytes) {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path;
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    // The three-class fixture in this format with every cell emptied, made once per run.
    static const std::string& blankBook() {
        static QTemporaryDir dir;
        static const std::string path = [] {
            const std::string p = dir.filePath(QStringLiteral("blank.") + QLatin1String(kName)).toStdString();
            copy(fixturePath(QStringLiteral("lo_rollbook.") + QLatin1String(kName)).toStdString(), p);
            auto book = workbook::openWorkbook(p);
            for (int s = 1; s <= book->sheetCount(); ++s) {
                book->activate(s);
                std::vector<std::pair<int, int>> used;
                book->forEachCell([&](int r, int c, const workbook::CellValue&) { used.emplace_back(r, c); });
                for (const auto& [r, c] : used)
                    book->setCell(r, c, workbook::CellValue());
            }
            book->save();
            return p;
        }();
        return path;
    }

    QTemporaryDir dir_;
    std::unique_ptr<workbook::Application> app_;
    int shown_ = 0;
    bool failing_ = false;
    struct rlimit savedLimit_ {};
    void (*savedHandler_)(int) = SIG_DFL;
};

} // namespace rostrel::test
