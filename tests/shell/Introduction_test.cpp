// The introduction window and how it reads "说明文档.txt".
#include "WindowFixture.h"
#include "shell/FrmQd.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>

using namespace rostrel;
using namespace rostrel::test;

namespace {

QString writeFile(const QTemporaryDir& dir, const QByteArray& bytes,
                  const QString& name = QStringLiteral("说明文档.txt")) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

// Runs `body` with the current directory set to `dir`.
template <typename F> void inDirectory(const QString& dir, F body) {
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir);
    body();
    QDir::setCurrent(old);
}

} // namespace

TEST(Introduction, EveryLineFollowsALineBreak) {
    QTemporaryDir dir;
    const QString crlf = QStringLiteral("\r\na\r\nb\r\nc");
    EXPECT_EQ(readIntroduction(writeFile(dir, "a\r\nb\r\nc")), crlf);
    EXPECT_EQ(readIntroduction(writeFile(dir, "a\r\nb\r\nc\r\n")), crlf); // a last terminator adds nothing
    EXPECT_EQ(readIntroduction(writeFile(dir, "a\nb\nc\n")), crlf);
    EXPECT_EQ(readIntroduction(writeFile(dir, "a\rb\rc")), crlf);
    EXPECT_EQ(readIntroduction(writeFile(dir, "a\r\n\r\nb")), QStringLiteral("\r\na\r\n\r\nb")); // empty line kept
    EXPECT_EQ(readIntroduction(writeFile(dir, "\r\n")), QStringLiteral("\r\n"));
}

TEST(Introduction, EmptyOrMissingFileGivesEmptyText) {
    QTemporaryDir dir;
    EXPECT_EQ(readIntroduction(writeFile(dir, "")), QString());
    EXPECT_EQ(readIntroduction(dir.filePath(QStringLiteral("none.txt"))), QString());
    EXPECT_EQ(readIntroduction(dir.path()), QString()); // a folder cannot be read as text
}

TEST(Introduction, Utf8OrGb18030) {
    QTemporaryDir dir;
    const QString text = QStringLiteral("点名说明\r\n第二行：分组，计时");
    EXPECT_EQ(readIntroduction(writeFile(dir, text.toUtf8())), QStringLiteral("\r\n") + text);
    EXPECT_EQ(readIntroduction(writeFile(dir, "\xEF\xBB\xBF" + text.toUtf8())), QStringLiteral("\r\n") + text);
    QStringEncoder gb("GB18030");
    ASSERT_TRUE(gb.isValid());
    const QByteArray gbBytes = gb(text);
    ASSERT_NE(gbBytes, text.toUtf8());
    EXPECT_EQ(readIntroduction(writeFile(dir, gbBytes)), QStringLiteral("\r\n") + text);
}

TEST(Introduction, WindowReadsTheFileOfTheCurrentDirectory) {
    QTemporaryDir dir;
    writeFile(dir, "a\r\nb\r\nc");
    inDirectory(dir.path(), [] {
        FrmQd about;
        EXPECT_EQ(about.windowTitle(), QStringLiteral(" 简介"));
        EXPECT_EQ(about.size(), QSize(836, 891)); // 12540 x 13365 twips
        EXPECT_EQ(about.Label1->text(), QStringLiteral("Rostrel简介"));
        EXPECT_DOUBLE_EQ(about.Label1->font().pointSizeF(), 24.0);
        EXPECT_EQ(about.Text1->font().family(), QStringLiteral("宋体"));
        EXPECT_EQ(about.Text1->size(), QSize(815, 727));
        EXPECT_EQ(about.Text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_EQ(about.text(), QStringLiteral("\r\na\r\nb\r\nc"));
        EXPECT_EQ(about.Text1->toPlainText(), QStringLiteral("\na\nb\nc"));
    });
}

TEST(Introduction, ShippedGuideIsFoundAndReadable) {
    QTemporaryDir empty;
    inDirectory(empty.path(), [] {
        FrmQd about;
        EXPECT_TRUE(about.text().startsWith(QStringLiteral("\r\nRostrel")));
        for (const char* word : {"点名", "分组", "计时", "点名册.xls", "显示方式"})
            EXPECT_TRUE(about.text().contains(QString::fromUtf8(word))) << word;
        EXPECT_FALSE(about.text().contains(QChar::ReplacementCharacter));
    });
}

TEST_F(WindowTest, AboutShowsTheIntroductionModally) {
    showWindow();
    QString title;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* dlg = QApplication::activeModalWidget()) {
            title = dlg->windowTitle();
            modal = dlg->isModal();
            dlg->close();
        }
    });
    chooseFromMenu(w.get(), find<QAction>("MnBz(0)"));
    EXPECT_EQ(title, QStringLiteral(" 简介"));
    EXPECT_TRUE(modal);
}
