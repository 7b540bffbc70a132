#include "shell/Fonts.h"

#include <QStringList>

namespace rostrel {

void installFontSubstitutions() {
    // Once per process; a static initialised by a call is thread-safe.
    [[maybe_unused]] static const bool installed = [] {
        // Families that are not installed are passed over when a font is matched, so the
        // lists name the usual stand-ins without asking the font database (which would load
        // it whole at start-up). Glyphs that none of them has still come from the desktop's
        // CJK fallback.
        const QStringList sans{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                               QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")};
        const QStringList serif{QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
                                QStringLiteral("AR PL UMing CN")};
        const QStringList kai{QStringLiteral("AR PL UKai CN"), QStringLiteral("LXGW WenKai"), QStringLiteral("KaiTi")};
        QFont::insertSubstitutions(kFontYahei, sans);
        QFont::insertSubstitutions(kFontSong, serif + sans);
        QFont::insertSubstitutions(kFontKai, kai + serif + sans);
        return true;
    }();
}

QFont designFont(const QString& family, double pointSize, bool bold) {
    installFontSubstitutions();
    QFont f(family);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

} // namespace rostrel
