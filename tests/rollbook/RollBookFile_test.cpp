// The default roll book's name and the open dialog's filter as the desktop's dialog shows it.
#include "platform/qt/DesktopPlatform.h"
#include "rollbook/RollBookFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace rostrel::test {
namespace {

void touch(const QTemporaryDir& dir, const QString& name) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

TEST(RollBookFile, DefaultNameTakesXlsThenXlsxThenOds) {
    QTemporaryDir dir;
    EXPECT_EQ(rollbook::defaultRollBookName(dir.path()), QStringLiteral("点名册.xls"));
    // A folder of that name is no roll book.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("点名册.xlsx")));
    touch(dir, QStringLiteral("点名册.ods"));
    EXPECT_EQ(rollbook::defaultRollBookName(dir.path()), QStringLiteral("点名册.ods"));
    ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("点名册.xlsx")));
    touch(dir, QStringLiteral("点名册.xlsx"));
    EXPECT_EQ(rollbook::defaultRollBookName(dir.path()), QStringLiteral("点名册.xlsx"));
    touch(dir, QStringLiteral("点名册.xls"));
    EXPECT_EQ(rollbook::defaultRollBookName(dir.path()), QStringLiteral("点名册.xls"));
}

TEST(RollBookFile, DialogFilterListsAllFormatsFirst) {
    EXPECT_EQ(
        qtFileFilter(rollbook::rollBookFilter()),
        QStringLiteral("点名册 (*.xls *.xlsx *.ods);;Excel 97-2003 (*.xls);;Excel (*.xlsx);;OpenDocument (*.ods)"));
    EXPECT_EQ(qtFileFilter(QStringLiteral("Excel文件|*.xls")), QStringLiteral("Excel文件 (*.xls)"));
}

} // namespace
} // namespace rostrel::test
