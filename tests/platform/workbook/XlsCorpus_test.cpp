// The engine on real-world files: every BIFF8 workbook of the corpus reads as xlrd reads it;
// edited copies read back (by xlrd, and record by record) with the edits and nothing else
// changed; refused files give errors and stay as they were; fuzz finds do not crash.
#include "XlsTestUtil.h"
#include "support/Fixtures.h"

#include "platform/workbook/Workbook.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>

using namespace rostrel::workbook;
using namespace rostrel::test::xlsutil;

namespace {

std::string describe(const Cell& c) {
    return c.kind + ":" + (c.kind == "number" || c.kind == "date" ? std::to_string(c.number) : c.text);
}

// First difference between two dumps, or "".
std::string compare(const BookDump& mine, const BookDump& theirs) {
    if (mine.names != theirs.names)
        return "sheet names differ";
    for (size_t s = 0; s < mine.sheets.size(); ++s) {
        const SheetDump& a = mine.sheets[s];
        const SheetDump& b = theirs.sheets[s];
        for (const auto& [rc, cell] : a) {
            auto it = b.find(rc);
            if (it == b.end() || !(it->second == cell))
                return "sheet " + std::to_string(s + 1) + " cell " + std::to_string(rc.first) + "," +
                       std::to_string(rc.second) + ": ours " + describe(cell) + ", xlrd " +
                       (it == b.end() ? "empty" : describe(it->second));
        }
        for (const auto& [rc, cell] : b)
            if (!a.count(rc))
                return "sheet " + std::to_string(s + 1) + " cell " + std::to_string(rc.first) + "," +
                       std::to_string(rc.second) + ": ours empty, xlrd " + describe(cell);
    }
    return {};
}

bool isCellType(uint16_t t) {
    namespace rt = xls::rt;
    return t == rt::NUMBER || t == rt::RK || t == rt::MULRK || t == rt::LABELSST || t == rt::LABEL ||
           t == rt::RSTRING || t == rt::BLANK || t == rt::MULBLANK || t == rt::BOOLERR || t == rt::FORMULA ||
           t == rt::FORMULA3 || t == rt::FORMULA4;
}

// Records the writer may rebuild; every other record must come out byte for byte, in order.
bool isRebuildable(uint16_t t) {
    namespace rt = xls::rt;
    return isCellType(t) || t == rt::SST || t == rt::CONTINUE || t == rt::EXTSST || t == rt::BOUNDSHEET ||
           t == rt::RECALCID || t == rt::INDEX || t == rt::DBCELL || t == rt::ROW || t == rt::DIMENSIONS ||
           t == rt::STRING;
}

struct Edit {
    int row, col; // 1-based
    CellValue value;
};

// Checks the old and new workbook streams record by record: untouched records are identical
// and in order; every old cell record that holds no edited cell is still there unchanged.
std::string compareRecords(const Bytes& before, const Bytes& after, const std::vector<Edit>& edits, uint32_t sheetBof,
                           uint32_t sheetEnd) {
    const auto a = records(before), b = records(after);
    std::vector<const RawRecord*> fa, fb;
    for (const auto& r : a)
        if (!isRebuildable(r.type))
            fa.push_back(&r);
    for (const auto& r : b)
        if (!isRebuildable(r.type))
            fb.push_back(&r);
    if (fa.size() != fb.size())
        return "the number of kept records differs: " + std::to_string(fa.size()) + " vs " + std::to_string(fb.size());
    for (size_t i = 0; i < fa.size(); ++i)
        if (fa[i]->bytes != fb[i]->bytes)
            return "record " + std::to_string(i) + " (type " + std::to_string(fa[i]->type) + ") changed";
    // Keyed by text: GCC 12 at -O3 misjudges the bound of the memcmp that orders byte vectors.
    const auto key = [](const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
    std::multiset<std::string> newCells;
    for (const auto& r : b)
        if (isCellType(r.type))
            newCells.insert(key(r.bytes));
    for (const auto& r : a) {
        if (!isCellType(r.type))
            continue;
        const uint16_t row = xls::rd16(&r.bytes[4]);
        uint16_t c0 = xls::rd16(&r.bytes[6]), c1 = c0;
        if (r.type == xls::rt::MULRK || r.type == xls::rt::MULBLANK)
            c1 = xls::rd16(&r.bytes[r.bytes.size() - 2]);
        bool touched = false;
        if (r.pos >= sheetBof && r.pos < sheetEnd)
            for (const Edit& e : edits)
                touched = touched || (e.row - 1 == row && e.col - 1 >= c0 && e.col - 1 <= c1);
        if (touched)
            continue;
        auto it = newCells.find(key(r.bytes));
        if (it == newCells.end())
            return "cell record at " + std::to_string(r.pos) + " (type " + std::to_string(r.type) + ") is gone";
        newCells.erase(it);
    }
    return {};
}

} // namespace

TEST(XlsCorpus, EveryOkFileReadsAsXlrdReadsIt) {
    if (!xlrdAvailable())
        GTEST_SKIP() << "xlrd is not installed";
    ROSTREL_SKIP_WITHOUT_FIXTURE(corpusDir("ok"));
    const QStringList files = xlsFilesIn(corpusDir("ok"));
    ASSERT_GE(files.size(), 250);
    const auto theirs = xlrdDump(files);
    int agreed = 0;
    std::vector<std::string> failures;
    for (const QString& f : files) {
        const std::string name = QFileInfo(f).fileName().toStdString();
        try {
            LoadedFile file = load(f);
            const BookDump mine = ourDump(*file.book);
            auto it = theirs.find(f);
            if (it == theirs.end() || !it->second.error.empty()) {
                failures.push_back(name + ": xlrd failed");
                continue;
            }
            const std::string diff = compare(mine, it->second);
            if (diff.empty())
                ++agreed;
            else
                failures.push_back(name + ": " + diff);
        } catch (const std::exception& e) {
            failures.push_back(name + ": " + e.what());
        }
    }
    for (const auto& f : failures)
        ADD_FAILURE() << f;
    std::printf("[ corpus ] %d of %d files agree with xlrd on every cell\n", agreed, static_cast<int>(files.size()));
}

TEST(XlsCorpus, EditedCopiesChangeOnlyTheEditedCells) {
    if (!xlrdAvailable())
        GTEST_SKIP() << "xlrd is not installed";
    ROSTREL_SKIP_WITHOUT_FIXTURE(corpusDir("ok"));
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QStringList files = xlsFilesIn(corpusDir("ok"));
    std::map<QString, std::vector<Edit>> editsOf;
    std::map<QString, QString> originalOf;
    std::vector<std::string> failures;
    int saved = 0, refused = 0;
    for (const QString& f : files) {
        const QString copy = tmp.filePath(QFileInfo(f).fileName());
        QFile::copy(f, copy);
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        const std::string name = QFileInfo(f).fileName().toStdString();
        try {
            auto book = openWorkbook(copy.toStdString());
            if (book->sheetCount() == 0)
                continue;
            LoadedFile before = load(f);
            const auto& cells = before.book->sheetCells(0);
            std::vector<Edit> edits;
            // Replace the first cell (often a text or a MULRK member), add a text below the
            // last row, a number far right in row 2, and a formula-free clear of another cell.
            int lastRow = 0;
            bool replaced = false;
            for (size_t r = 0; r < cells.rows.size(); ++r) {
                if (cells.rows[r].empty())
                    continue;
                lastRow = static_cast<int>(r) + 1;
                if (!replaced) {
                    edits.push_back({lastRow, cells.rows[r].front().col + 1, CellValue::fromNumber(123.25)});
                    replaced = true;
                }
            }
            if (lastRow + 2 <= 65536)
                edits.push_back({lastRow + 2, 3, CellValue::fromText("新文字 " + name)});
            edits.push_back({2, 200, CellValue::fromNumber(-7.5)});
            std::vector<Edit> applied;
            for (const Edit& e : edits) {
                try {
                    book->setCell(e.row, e.col, e.value);
                    applied.push_back(e);
                } catch (const WorkbookError& err) {
                    if (err.code() != WorkbookError::Code::Unsupported)
                        throw;
                    ++refused; // a shared-formula host or an array formula: refused, as it should
                }
            }
            book->save();
            ++saved;
            editsOf[copy] = applied;
            originalOf[copy] = f;

            // Record by record.
            LoadedFile after = load(copy);
            uint32_t bof = before.book->worksheets()[0].bofPos, end = UINT32_MAX;
            for (const auto& s : before.book->allSheets())
                if (s.bofPos > bof)
                    end = std::min(end, s.bofPos);
            const std::string diff = compareRecords(before.stream().data, after.stream().data, applied, bof, end);
            if (!diff.empty())
                failures.push_back(name + ": " + diff);
            // Every other stream and storage of the container, byte for byte.
            auto a = before.doc.root, b = after.doc.root;
            auto ai = before.streamPath, bi = after.streamPath;
            a.children[ai[0]].data.clear();
            b.children[bi[0]].data.clear();
            std::function<bool(const ole::Entry&, const ole::Entry&)> same = [&](const ole::Entry& x,
                                                                                 const ole::Entry& y) {
                if (x.name != y.name || x.storage != y.storage || x.data != y.data ||
                    x.children.size() != y.children.size() || (x.hasClassId && x.classId != y.classId))
                    return false;
                for (size_t i = 0; i < x.children.size(); ++i)
                    if (!same(x.children[i], y.children[i]))
                        return false;
                return true;
            };
            if (!same(a, b))
                failures.push_back(name + ": another stream of the container changed");
        } catch (const std::exception& e) {
            failures.push_back(name + ": " + e.what());
        }
    }

    QStringList copies;
    for (const auto& [copy, e] : editsOf)
        copies << copy;
    QStringList originals;
    for (const auto& [copy, orig] : originalOf)
        originals << orig;
    const auto newDumps = xlrdDump(copies);
    const auto oldDumps = xlrdDump(originals);
    for (const auto& [copy, edits] : editsOf) {
        const std::string name = QFileInfo(copy).fileName().toStdString();
        const BookDump& now = newDumps.at(copy);
        BookDump want = oldDumps.at(originalOf[copy]);
        if (!now.error.empty()) {
            failures.push_back(name + ": xlrd cannot read the edited copy: " + now.error);
            continue;
        }
        for (const Edit& e : edits) {
            Cell c = toCell(e.value);
            auto old = want.sheets[0].find({e.row, e.col});
            if (c.kind == "number" && old != want.sheets[0].end() && old->second.kind == "date")
                c.kind = "date"; // a date-formatted cell keeps its format
            want.sheets[0][{e.row, e.col}] = c;
        }
        const std::string diff = compare(now, want);
        if (!diff.empty())
            failures.push_back(name + " (xlrd): " + diff);
    }
    for (const auto& f : failures)
        ADD_FAILURE() << f;
    std::printf("[ corpus ] %d files edited and saved, %d edits refused (shared/array formulas)\n", saved, refused);
    EXPECT_GE(saved, 250);
}

TEST(XlsCorpus, RefusedFilesGiveErrorsAndStayByteIdentical) {
    ROSTREL_SKIP_WITHOUT_FIXTURE(corpusDir("refuse"));
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QStringList files = xlsFilesIn(corpusDir("refuse"));
    ASSERT_GE(files.size(), 30);
    std::map<std::string, WorkbookError::Code> expected = {
        {"password.xls", WorkbookError::Code::Encrypted},    {"xor-encryption-abc.xls", WorkbookError::Code::Encrypted},
        {"35897-type4.xls", WorkbookError::Code::Encrypted}, {"50833.xls", WorkbookError::Code::Encrypted},
        {"51832.xls", WorkbookError::Code::Encrypted},       {"testEXCEL_3.xls", WorkbookError::Code::NotOle},
        {"testEXCEL_4.xls", WorkbookError::Code::NotOle},    {"testEXCEL_95.xls", WorkbookError::Code::OldFormat},
        {"testEXCEL_5.xls", WorkbookError::Code::OldFormat}, {"59074.xls", WorkbookError::Code::OldFormat},
        {"61300.xls", WorkbookError::Code::Damaged},         {"45290.xls", WorkbookError::Code::Damaged},
    };
    for (const QString& f : files) {
        if (!f.endsWith(QStringLiteral(".xls")))
            continue;
        const std::string name = QFileInfo(f).fileName().toStdString();
        const QString copy = tmp.filePath(QFileInfo(f).fileName());
        QFile::copy(f, copy);
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        const Bytes original = readBytes(copy);
        std::optional<WorkbookError::Code> code;
        try {
            auto book = openWorkbook(copy.toStdString());
            for (int s = 1; s <= book->sheetCount(); ++s) {
                book->activate(s);
                for (int r = 1; r <= 50; ++r)
                    for (int c = 1; c <= 20; ++c)
                        (void)book->cell(r, c);
            }
            book->activate(1);
            book->setCell(1, 1, CellValue::fromNumber(1));
            book->save();
        } catch (const WorkbookError& e) {
            code = e.code();
        }
        std::printf("[ refuse ] %-70s %s\n", name.c_str(),
                    code ? std::to_string(static_cast<int>(*code)).c_str() : "read and saved");
        auto want = expected.find(name);
        if (want != expected.end()) {
            EXPECT_TRUE(code.has_value()) << name;
            if (code) {
                EXPECT_EQ(static_cast<int>(*code), static_cast<int>(want->second)) << name;
            }
        }
        if (code) {
            EXPECT_EQ(readBytes(copy), original) << name << " changed although it was refused";
        }
        EXPECT_FALSE(QFileInfo::exists(tmp.filePath(QStringLiteral(".~lock.") + QFileInfo(f).fileName() + "#")))
            << name << " left its lock file";
    }
}

TEST(XlsCorpus, OldFormatFilesReadButAreNeverWritten) {
    QTemporaryDir tmp;
    const QString copy = tmp.filePath(QStringLiteral("testEXCEL_95.xls"));
    ASSERT_TRUE(QFile::copy(rostrel::test::fixturePath(QStringLiteral("corpus/refuse/testEXCEL_95.xls")), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    auto book = openWorkbook(copy.toStdString());
    ASSERT_GE(book->sheetCount(), 1);
    bool anyText = false;
    for (int r = 1; r <= 20; ++r)
        anyText = anyText || book->cell(r, 1).kind == CellValue::Kind::Text;
    EXPECT_TRUE(anyText);
    try {
        book->setCell(1, 1, CellValue::fromNumber(1));
        FAIL() << "a BIFF5 workbook took an edit";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.code(), WorkbookError::Code::OldFormat);
    }
}

// Inputs that once crashed or misled the reader (fuzz finds and hand-made damage): each gives
// a WorkbookError or reads; saving an edit either works or is refused.
TEST(XlsCorpus, RegressionInputsNeitherCrashNorHang) {
    const QStringList files = xlsFilesIn(QStringLiteral(ROSTREL_TEST_DATA_DIR "/workbook"));
    ASSERT_FALSE(files.isEmpty());
    for (const QString& f : files) {
        const Bytes data = readBytes(f);
        try {
            LoadedFile file = loadXls(data.data(), data.size());
            for (size_t s = 0; s < file.book->worksheets().size(); ++s) {
                try {
                    (void)ourDump(*file.book);
                    file.book->setCell(static_cast<int>(s), 0, 0, CellValue::fromText("x"));
                    (void)saveXls(file);
                } catch (const WorkbookError&) {
                }
            }
        } catch (const WorkbookError&) {
        }
    }
}
