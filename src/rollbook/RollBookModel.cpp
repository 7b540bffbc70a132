// The lesson's roll-book session: the roll book in use (the default one or the one chosen),
// its classes, and the class sheet, opened once and read again when another program saved
// the file since.
#include "lesson/Lesson.h"
#include "platform/Log.h"
#include "platform/SetupStore.h"
#include "rollbook/RollBookFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <stdexcept>

namespace rostrel {

namespace {

const QString kReadOnlyText = QStringLiteral("请检查Excel名单是否已经被打开，请关闭");
const QString kChooseFileText = QStringLiteral("请选择文件名");
const QString kNoSheetText = QStringLiteral("找不到工作表，请检查");
const QString kDamagedText = QStringLiteral("请打开并检查Excel文档是否损坏。");
const QString kNoViewerText = QStringLiteral("找不到可以打开Excel名单的程序，请安装电子表格软件后再试。");
const QString kNotShownText = QStringLiteral("无法打开Excel名单，请检查名单文件是否存在。");

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

bool Lesson::OpenClassSheet(int16_t& sheetIndex, bool toWrite) {
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
    const std::string name = st_.RollBookName.toStdString();
    for (int i = 1; i <= app.workbookCount(); ++i) {
        workbook::Workbook& book = app.workbook(i);
        // A workbook of the same name from another folder is another roll book.
        if (!book.isClosed() && book.name() == name && samePath(book.path(), st_.RollBookPath)) {
            found = &book;
            break;
        }
    }
    // Whether another program holds the file is asked of the roll book in use, not of the
    // first one opened in this run: a score must never go into a roll book other than the
    // one shown, nor be dropped without a word. A held book is still read.
    const bool wasOpen = found != nullptr;
    if (found && found->readOnly()) {
        // Opened while another program held it: open it again, that program may be closed now.
        found->close();
        found = nullptr;
    }
    if (found) {
        // Another program saved the file since: read it again so its changes are kept.
        if (found->changedOnDisk())
            found->reload();
        st_.ExcelBook = found;
    } else {
        st_.ExcelBook = &app.open(st_.RollBookPath.toStdString());
    }
    const bool writable = !st_.ExcelBook->readOnly();
    if (!writable && (wasOpen || toWrite))
        platform_.messages->warn(kReadOnlyText);

    if (sheetIndex == 0)
        sheetIndex = 1;
    st_.ExcelBook->activate(sheetIndex);
    st_.ExcelSheet = {st_.ExcelBook, static_cast<int16_t>(st_.ExcelBook->activeSheet())};
    return writable;
}

void Lesson::UseDefaultRollBook() {
    // The remembered roll book while it exists, else the default one in the current folder,
    // the documents folder or the program's folder.
    std::optional<QString> remembered;
    if (platform_.setup)
        remembered = platform_.setup->load().rollBook;
    QString path = startRollBook(remembered, kDefaultRollBookNames, rollBookFolders());
    if (path.isEmpty())
        path = QDir(QCoreApplication::applicationDirPath()).filePath(kDefaultRollBookName);
    UseRollBookFile(path, QFileInfo(path).fileName());
    if (!QFileInfo::exists(path)) {
        // The teacher gave up choosing: nothing to list.
        if (!askForRollBook())
            return;
        ListClasses();
    }
    ListClasses();
}

void Lesson::ChooseRollBook() {
    if (askForRollBook())
        ListClasses();
}

// The first cancel is answered with "请选择文件名" and the dialog again.
bool Lesson::askForRollBook() {
    const QString filter = rollbook::rollBookFilter();
    for (int attempt = 0; attempt < 2; ++attempt) {
        FileChoice choice;
        try {
            if (platform_.fileDialog)
                choice = platform_.fileDialog->getOpenFileName(filter);
        } catch (...) {
            logCaught("open-file dialog");
            choice = {};
        }
        if (!choice.path.isEmpty()) {
            UseRollBookFile(choice.path, choice.title.isEmpty() ? QFileInfo(choice.path).fileName() : choice.title);
            chosenRollBook_ = choice.path;
            notify(ClassListPart);
            return true;
        }
        if (attempt == 0) {
            try {
                platform_.messages->inform(kChooseFileText);
            } catch (...) {
                logCaught("message box");
            }
        }
    }
    return false;
}

void Lesson::ListClasses() {
    try {
        // The roll book opens at the class chosen before, which another roll book may lack.
        int16_t index = static_cast<int16_t>(currentClass_ + 1);
        OpenClassSheet(index);
        if (!st_.ExcelBook)
            throw std::runtime_error("no roll book is open");
        const int n = st_.ExcelBook->sheetCount();
        if (n < 1) {
            platform_.messages->warn(kNoSheetText);
            return;
        }
        QStringList names;
        names.reserve(n);
        for (int i = 1; i <= n; ++i)
            names.append(QString::fromStdString(st_.ExcelBook->sheetName(i)));
        classNames_ = std::move(names);
        ChooseClass(0);
        classesListed_ = true;
        notify(ClassListPart);
    } catch (...) {
        logCaught("listing the classes of the roll book");
        platform_.messages->warn(kDamagedText);
    }
}

void Lesson::ChooseClass(int index) {
    if (index < 0 || index >= classNames_.size())
        return;
    currentClass_ = index;
    notify(ClassListPart);
    LoadClassRoster();
}

void Lesson::ShowRollBook() {
    try {
        int16_t index = static_cast<int16_t>(currentClass_ + 1);
        OpenClassSheet(index);
        if (!st_.ExcelApp)
            throw std::runtime_error("no roll book is open");
        st_.ExcelApp->setVisible(true);
    } catch (const workbook::WorkbookError& e) {
        logCaught("showing the roll book");
        platform_.messages->warn(e.code() == workbook::WorkbookError::Code::NotShown ? kNoViewerText : kNotShownText);
    } catch (...) {
        logCaught("showing the roll book");
        platform_.messages->warn(kNotShownText);
    }
}

} // namespace rostrel
