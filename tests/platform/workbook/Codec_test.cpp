// The format seam seen through the public workbook: the codec chosen by content, the cell
// enumeration with unsaved writes, and error values.
#include "XlsTestUtil.h"
#include "support/Fixtures.h"

#include "platform/workbook/Workbook.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace rostrel::workbook;
using namespace rostrel::test;
using namespace rostrel::test::xlsutil;

namespace {

using Listed = std::vector<std::tuple<int, int, CellValue>>;

Listed listed(const Workbook& book) {
    Listed out;
    book.forEachCell([&](int row, int column, const CellValue& v) { out.emplace_back(row, column, v); });
    return out;
}

} // namespace

TEST(Codec, ChosenByContentNotByName) {
    QTemporaryDir dir;
    const std::string renamed =
        copyFixture(dir, QStringLiteral("five_classes.xls"), QStringLiteral("roll.xlsx")).toStdString();
    EXPECT_EQ(openWorkbook(renamed, Access::ReadOnly)->sheetCount(), 5);
    const std::string zip = dir.filePath(QStringLiteral("package.xls")).toStdString();
    QFile f(QString::fromStdString(zip));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("PK\x03\x04", 4) + QByteArray(60, '\0'));
    f.close();
    try {
        openWorkbook(zip);
        ADD_FAILURE() << "opened a ZIP package as a workbook";
    } catch (const WorkbookError& e) {
        // A ZIP signature picks the package codecs; an empty directory is a damaged package.
        EXPECT_EQ(e.code(), WorkbookError::Code::Damaged);
    }
}

TEST(Codec, EnumerationFollowsUnsavedWritesInRowOrder) {
    QTemporaryDir dir;
    const std::string path = copyFixture(dir, QStringLiteral("xlwt_rollbook.xls")).toStdString();
    auto book = openWorkbook(path);
    book->activate(1);
    const Listed before = listed(*book);
    ASSERT_GT(before.size(), 20u);
    for (const auto& [row, column, v] : before) {
        EXPECT_FALSE(v.isEmpty());
        EXPECT_EQ(book->cell(row, column), v) << row << "," << column;
    }
    EXPECT_TRUE(std::is_sorted(before.begin(), before.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    }));

    const auto [firstRow, firstColumn, firstValue] = before.front();
    book->setCell(firstRow, firstColumn, CellValue::empty());                 // cleared: no longer listed
    book->setCell(3, 200, CellValue::fromText("新"));                         // new, inside the used rows
    book->setCell(60000, 1, CellValue::fromError(CellValue::ErrorCode::Ref)); // new, far below
    Listed expected(before.begin() + 1, before.end());
    expected.emplace_back(3, 200, CellValue::fromText("新"));
    expected.emplace_back(60000, 1, CellValue::fromError(CellValue::ErrorCode::Ref));
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    EXPECT_EQ(listed(*book), expected);
    book->save();
    EXPECT_EQ(listed(*book), expected);
    book->close();
    auto again = openWorkbook(path, Access::ReadOnly);
    again->activate(1);
    EXPECT_EQ(listed(*again), expected);
    EXPECT_EQ(again->cell(60000, 1).error, CellValue::ErrorCode::Ref);
}

TEST(Codec, ErrorValuesHaveTheirSpreadsheetTexts) {
    using E = CellValue::ErrorCode;
    const std::pair<E, const char*> texts[] = {
        {E::Null, "#NULL!"}, {E::Div0, "#DIV/0!"}, {E::Value, "#VALUE!"}, {E::Ref, "#REF!"},
        {E::Name, "#NAME?"}, {E::Num, "#NUM!"},    {E::NA, "#N/A"},       {E::GettingData, "#GETTING_DATA"}};
    for (const auto& [code, text] : texts)
        EXPECT_STREQ(errorText(code), text);
}
