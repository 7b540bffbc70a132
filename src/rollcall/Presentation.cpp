#include "rollcall/Presentation.h"

#include "platform/Values.h"

namespace rostrel::rollcall {

namespace {
const QString kBreak = QStringLiteral("\r\n");
}

QString seatWording(QString text) {
    text.replace(u'-', QStringLiteral("行"));
    return text + QStringLiteral("列");
}

QString positionLine(int group, int member, const QString& key, const QString& text) {
    return QStringLiteral("第 ") + plainText(group) + QStringLiteral(" 组 ") + plainText(member) +
           QStringLiteral(" 号 ，") + key + u' ' + text;
}

std::optional<QString> pickCaption(int category, int form, int group, int member, const QString& key,
                                   const QString& text) {
    const QString g = plainText(group);
    const QString m = plainText(member);
    if (form == 0)
        return kBreak + text;
    if (category == 0) {
        switch (form) {
        case 1:
            return key + u' ' + text;
        case 2:
            return g + QStringLiteral("组 ") + kBreak + text;
        case 3:
            return g + u'组' + m + QStringLiteral("号 ") + kBreak + text;
        case 4:
            return g + u'组' + kBreak + key + text;
        case 5:
            return g + u'组' + m + QStringLiteral("号 ") + kBreak + key + u' ' + text;
        default:
            return std::nullopt;
        }
    }
    switch (form) {
    case 1:
        return g + QStringLiteral("组 ") + kBreak + text;
    case 2:
        return g + QStringLiteral("组 ") + m + QStringLiteral("号 ") + kBreak + text;
    default:
        return std::nullopt;
    }
}

} // namespace rostrel::rollcall
