// The lesson's roll-book session: the class sheet of the roll book in use, opened once and
// read again when another program saved the file since.
#include "lesson/Lesson.h"

#include <QFileInfo>
#include <stdexcept>

namespace rostrel {

namespace {

const QString kReadOnlyText = QStringLiteral("请检查Excel名单是否已经被打开，请关闭");

// Same file, whatever way its path is written.
bool samePath(const std::string& a, const QString& b) {
    const QFileInfo fa(QString::fromStdString(a));
    const QFileInfo fb(b);
    const QString ca = fa.canonicalFilePath();
    const QString cb = fb.canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

} // namespace

void Lesson::OpenClassSheet(int16_t& sheetIndex) {
    if (!st_.ExcelApp) {
        Launcher* launcher = platform_.launcher;
        st_.ExcelApp = workbook::createApplication([launcher](const std::string& path) {
            return launcher && launcher->openFile(QString::fromStdString(path));
        });
        if (!st_.ExcelApp)
            throw std::runtime_error("the spreadsheet engine did not start");
    }
    workbook::Application& app = *st_.ExcelApp;

    workbook::Workbook* found = nullptr;
    if (app.workbookCount() >= 1) {
        if (app.workbook(1).readOnly()) {
            platform_.messages->warn(kReadOnlyText);
            return;
        }
        const std::string name = st_.RollBookName.toStdString();
        for (int i = 1; i <= app.workbookCount(); ++i) {
            workbook::Workbook& book = app.workbook(i);
            // A workbook of the same name from another folder is another roll book.
            if (!book.isClosed() && book.name() == name && samePath(book.path(), st_.RollBookPath)) {
                found = &book;
                break;
            }
        }
    }
    if (found) {
        // Another program saved the file since: read it again so its changes are kept.
        if (found->changedOnDisk())
            found->reload();
        st_.ExcelBook = found;
    } else {
        st_.ExcelBook = &app.open(st_.RollBookPath.toStdString());
    }

    if (sheetIndex == 0)
        sheetIndex = 1;
    st_.ExcelBook->activate(sheetIndex);
    st_.ExcelSheet = {st_.ExcelBook, static_cast<int16_t>(st_.ExcelBook->activeSheet())};
}

} // namespace rostrel
