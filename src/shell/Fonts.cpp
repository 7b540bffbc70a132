#include "shell/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace rostrel {

namespace {

// Installed families from `preferred`, in order, then any other family that has Chinese
// glyphs, so a desktop without Noto still gets a font that writes the captions.
QStringList available(const QStringList& preferred) {
    const QStringList families = QFontDatabase::families();
    QStringList out;
    for (const QString& f : preferred)
        if (families.contains(f))
            out.append(f);
    if (out.isEmpty()) {
        const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
        if (!chinese.isEmpty())
            out.append(chinese.first());
    }
    return out;
}

} // namespace

void installFontSubstitutions() {
    static bool done = false;
    if (done)
        return;
    done = true;
    const QStringList sans{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                           QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")};
    const QStringList serif{QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
                            QStringLiteral("AR PL UMing CN")};
    QFont::insertSubstitutions(kFontYahei, available(sans));
    QFont::insertSubstitutions(kFontSong, available(serif + sans));
    QFont::insertSubstitutions(kFontKai, available(QStringList{QStringLiteral("AR PL UKai CN"),
                                                               QStringLiteral("LXGW WenKai"),
                                                               QStringLiteral("KaiTi")} +
                                                   serif + sans));
}

QFont designFont(const QString& family, double pointSize, bool bold) {
    installFontSubstitutions();
    QFont f(family);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

} // namespace rostrel
