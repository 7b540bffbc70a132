#include "platform/qt/Translations.h"

#include <QLibraryInfo>

namespace rostrel {

std::unique_ptr<QTranslator> loadQtTranslations(const QLocale& system) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    QList<QLocale> wanted;
    if (system.language() == QLocale::Chinese)
        wanted.append(system);
    wanted.append(QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::China));
    for (const QLocale& locale : wanted) {
        // "qt" names the catalogue that loads the ones of every Qt module.
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(locale, QStringLiteral("qt"), QStringLiteral("_"), folder))
            return translator;
    }
    return nullptr;
}

} // namespace rostrel
