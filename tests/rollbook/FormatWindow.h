// The main window shown on the offscreen platform and driven as a teacher drives it, on a roll
// book copied into a temporary folder that is also the current folder, where the program looks
// for its default roll book first. For the tests that run over the three roll-book formats.
#pragma once

#include "rollbook/RealRollBook.h"
#include "support/Driver.h"
#include "support/Fakes.h"
#include "support/Fixtures.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace rostrel::test {

inline const QString kDamagedText = QStringLiteral("请打开并检查Excel文档是否损坏。");
inline const QString kReadOnlyText = QStringLiteral("请检查Excel名单是否已经被打开，请关闭");
inline const QString kLoadFailedText = QStringLiteral("读取班级名单失败，请检查Excel名单及其分组。");
inline const QString kWarningCaption = QStringLiteral("警告");

// The three formats a roll book comes in, as test parameters: "xls", "xlsx", "ods".
inline const auto kRollBookFormats = ::testing::Values("xls", "xlsx", "ods");
inline std::string formatTestName(const ::testing::TestParamInfo<const char*>& info) {
    return info.param;
}

// The current folder, changed for as long as the guard lives.
class CurrentFolder {
public:
    explicit CurrentFolder(const QString& path) : previous_(QDir::currentPath()) { QDir::setCurrent(path); }
    ~CurrentFolder() { QDir::setCurrent(previous_); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    QString previous_;
};

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

class FormatWindow {
public:
    // `ext` is the roll book's format: the copy is named 点名册.<ext>.
    explicit FormatWindow(const QString& ext) : ext_(ext) {
        window = std::make_unique<FrmMd>(fake.view());
        window->resize(1000, 700);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        // The first activation selects the number category.
        EXPECT_TRUE(waitUntil([this] { return find<QRadioButton>(QStringLiteral("OptFl(1)"))->isChecked(); }));
    }
    ~FormatWindow() { window->close(); }
    FormatWindow(const FormatWindow&) = delete;
    FormatWindow& operator=(const FormatWindow&) = delete;

    QTemporaryDir dir;
    CurrentFolder here{dir.path()};
    FakePlatform fake;
    std::unique_ptr<FrmMd> window;

    // The default roll book, 点名册.<ext> in the current folder.
    QString rollBook() const { return dir.filePath(QStringLiteral("点名册.") + ext_); }
    // Copies a fixture into the folder as `name` (the default roll book when none is given);
    // returns the copy's path.
    QString put(const QString& fixture, const QString& name = QString()) {
        const QString path = copyFixture(dir, fixture, name.isEmpty() ? QFileInfo(rollBook()).fileName() : name);
        EXPECT_FALSE(path.isEmpty()) << fixture.toStdString();
        return path;
    }
    // A fixture named after this format: "five_classes" gives five_classes.<ext>.
    QString fixture(const QString& stem) const { return stem + u'.' + ext_; }

    template <typename T = QWidget> T* find(const QString& name) const { return control<T>(window.get(), name); }
    const Lesson& lesson() const { return std::as_const(*window).lesson(); }
    const SessionState& session() const { return lesson().session(); }
    std::vector<Message>& messages() { return fake.messages.shown; }

    // ---- What the teacher does ----

    static void clickOn(QWidget* w) {
        QTest::mouseClick(w, Qt::LeftButton);
        QApplication::processEvents();
    }
    // The name-list category "名单": the default roll book is listed.
    void openNameList() { clickOn(find<QRadioButton>(QStringLiteral("OptFl(0)"))); }
    // "寻找名单文件", the file chosen in the open dialog.
    void chooseFile(const QString& path) {
        fake.fileDialog.answers.push_back({path, QFileInfo(path).fileName()});
        clickOn(find(QStringLiteral("Image1")));
    }
    // A class chosen in the class box with the arrow keys.
    void chooseClass(int index) { moveWithKeys(find<QComboBox>(QStringLiteral("cmbXls")), index); }
    // A class chosen in the "选择班级" menu through the menu bar.
    void chooseClassFromMenu(int index) {
        QAction* item = window->findChild<QAction*>(arrayName("MnBj", index));
        ASSERT_NE(item, nullptr) << "no class menu item " << index;
        chooseFromMenu(window.get(), item);
        QApplication::processEvents();
    }
    // The student whose entry starts with "<number>_" chosen in the name box with the arrow keys.
    void chooseStudent(const QString& number) {
        auto* box = find<QComboBox>(QStringLiteral("CmbXm"));
        for (int i = 0; i < box->count(); ++i)
            if (box->itemText(i).startsWith(number + u'_')) {
                // Arriving from a neighbour, so that the last key press is a choice.
                if (box->currentIndex() == i)
                    moveWithKeys(box, i == 0 ? 1 : i - 1);
                moveWithKeys(box, i);
                return;
            }
        ADD_FAILURE() << "no student " << number.toStdString();
    }
    // Points typed into the score box, then "写成绩" clicked.
    void writeScore(const QString& points) {
        auto* box = find<QComboBox>(QStringLiteral("Combo1(0)"));
        box->setFocus(Qt::TabFocusReason);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, points);
        QWidget* image = find(QStringLiteral("imgXie(1)"));
        ASSERT_TRUE(image->isVisible()) << "写成绩 is not shown";
        clickOn(image);
    }

    // ---- What the window shows ----

    QStringList classList() const { return itemsOf(find<QComboBox>(QStringLiteral("cmbXls"))); }
    QStringList studentList() const { return itemsOf(find<QComboBox>(QStringLiteral("CmbXm"))); }
    // The items of the "选择班级" menu, by their object names; also checks that the menu holds
    // exactly these.
    QStringList classMenu() const {
        QStringList texts;
        for (int i = 0;; ++i) {
            auto* item = window->findChild<QAction*>(arrayName("MnBj", i));
            if (!item)
                break;
            texts.append(item->text());
        }
        EXPECT_EQ(find<QMenu>(QStringLiteral("MnBjMenu"))->actions().size(), texts.size());
        return texts;
    }
    QString groupingTitle() const { return find<QGroupBox>(QStringLiteral("FrZr"))->title(); }
    bool nameLabelEnabled() const { return find(QStringLiteral("lblXm"))->isEnabled(); }

    // Every file in the folder, hidden ones (lock files, temporary files) included.
    QStringList folderFiles() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    int messagesWith(const QString& text) const {
        int n = 0;
        for (const auto& m : fake.messages.shown)
            n += m.text == text ? 1 : 0;
        return n;
    }
    // Every message shown was `text`, as a warning with the error icon; there were `count`.
    void expectOnlyWarnings(const QString& text, int count) const {
        EXPECT_EQ(static_cast<int>(fake.messages.shown.size()), count);
        for (const auto& m : fake.messages.shown) {
            EXPECT_EQ(m.text, text);
            EXPECT_EQ(m.caption, kWarningCaption);
            EXPECT_EQ(m.icon, MessageIcon::Error);
        }
    }

private:
    static QStringList itemsOf(const QComboBox* box) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items.append(box->itemText(i));
        return items;
    }
    // Up and down arrow keys in a drop-down list until entry `index` is selected.
    static void moveWithKeys(QComboBox* box, int index) {
        ASSERT_TRUE(index >= 0 && index < box->count()) << index;
        box->setFocus(Qt::TabFocusReason);
        for (int guard = 0; box->currentIndex() != index && guard < 1000; ++guard) {
            QTest::keyClick(box, box->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
            QApplication::processEvents();
        }
        EXPECT_EQ(box->currentIndex(), index);
    }

    QString ext_;
};

} // namespace rostrel::test
