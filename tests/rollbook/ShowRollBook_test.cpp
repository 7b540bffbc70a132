// "浏览名单内容" in the shown window on a real roll book: a clear message when no program can
// open the roll book, with the engine's reason in the log.
#include "rollbook/RealRollBook.h"
#include "support/LiveWindow.h"
#include "support/LogCapture.h"
#include "support/NumberWindow.h"

#include <QRadioButton>

using namespace rostrel;
using namespace rostrel::test;

namespace {

TEST(ShowRollBook, NoProgramToOpenItIsReported) {
    QTemporaryDir dir;
    const QString path = copyFixture(dir, QStringLiteral("lo_rollbook.xls"), QStringLiteral("点名册.xls"));
    LiveWindow t;
    t.fake.fileDialog.answers.push_back({path, QStringLiteral("点名册.xls")});
    LiveWindow::clickOn(t.find<QRadioButton>(QStringLiteral("OptFl(0)")));
    ASSERT_EQ(t.session().RosterCount, 45);
    auto* show = t.find<ClickLabel>(QStringLiteral("Image2"));
    ASSERT_TRUE(show->isVisible());

    LogCapture log;
    t.fake.launcher.answer = false;
    LiveWindow::clickOn(show);
    expectOnlyMessage(t.messages(), kWarningCaption,
                      QStringLiteral("找不到可以打开Excel名单的程序，请安装电子表格软件后再试。"), MessageIcon::Error);
    EXPECT_EQ(t.fake.launcher.opened, QStringList{path});
    ASSERT_EQ(log.warnings.size(), 1);
    EXPECT_TRUE(log.warnings[0].startsWith(QStringLiteral("showing the roll book: no program could be started")))
        << log.warnings[0].toStdString();

    // With a program for it, the roll book just opens.
    t.fake.launcher.answer = true;
    LiveWindow::clickOn(show);
    EXPECT_EQ(t.messages().size(), 1u);
    EXPECT_EQ(t.fake.launcher.opened.size(), 2);
}

} // namespace
