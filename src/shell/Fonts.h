// The three font families the windows ask for, and their stand-ins on this desktop.
#pragma once

#include <QFont>
#include <QString>

namespace rostrel {

inline const QString kFontKai = QStringLiteral("华文楷体");   // the big name label
inline const QString kFontYahei = QStringLiteral("微软雅黑"); // labels, lists, titles
inline const QString kFontSong = QStringLiteral("宋体");      // the introduction text

// Maps the three families to installed CJK fonts (Noto CJK when present, else any family
// that writes Chinese). Safe to call more than once; only the first call does the work.
void installFontSubstitutions();

// A font of one of the families above.
QFont designFont(const QString& family, double pointSize, bool bold = false);

} // namespace rostrel
