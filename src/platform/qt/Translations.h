// Qt's own texts (the buttons of message boxes, the open-file dialog) in the language of the
// program's window, which is Chinese.
#pragma once

#include <QLocale>
#include <QTranslator>
#include <memory>

namespace rostrel {

// Qt's translations for `system` when it is a Chinese locale (simplified or traditional),
// otherwise for Chinese (zh_CN), so that no Qt text stays in another language than the
// window's. Null when Qt's translations are not installed.
std::unique_ptr<QTranslator> loadQtTranslations(const QLocale& system);

} // namespace rostrel
