// Qt's own buttons speak the window's language: Chinese under a Chinese locale, and Chinese
// too under any other.
#include "platform/qt/Translations.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace rostrel;

namespace {

// The OK and Cancel buttons of a message box with `translator` installed.
QStringList buttonTexts(QTranslator* translator) {
    QCoreApplication::installTranslator(translator);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("警告"), QStringLiteral("请检查数据的合理性"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    const QStringList texts{box.button(QMessageBox::Ok)->text(), box.button(QMessageBox::Cancel)->text()};
    QCoreApplication::removeTranslator(translator);
    return texts;
}

TEST(Translations, MessageBoxButtonsAreChineseUnderEveryLocale) {
    const QStringList simplified{QStringLiteral("确定"), QStringLiteral("取消")};
    for (const char* name : {"zh_CN", "en_US", "de_DE", "C"}) {
        const auto translator = loadQtTranslations(QLocale(QString::fromLatin1(name)));
        ASSERT_NE(translator, nullptr) << name;
        EXPECT_EQ(buttonTexts(translator.get()), simplified) << name;
    }
    const auto traditional = loadQtTranslations(QLocale(QStringLiteral("zh_TW")));
    ASSERT_NE(traditional, nullptr);
    EXPECT_EQ(traditional->language(), QStringLiteral("zh_TW"));
    EXPECT_EQ(buttonTexts(traditional.get()).value(1), QStringLiteral("取消"));
}

} // namespace
