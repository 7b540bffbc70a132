#include "scoring/ScoreMath.h"

#include "rollbook/ClassSheet.h"

#include <QDate>
#include <charconv>
#include <cmath>

namespace rostrel::scoring {

QString headerDayLabel(const Cell& header) {
    switch (header.kind) {
    case Cell::Kind::Empty:
        return {};
    case Cell::Kind::Number:
    case Cell::Kind::Date:
        return monthDayLabel(header.number);
    case Cell::Kind::Text: {
        const QString t = rollbook::trimSpaces(header.text);
        for (const auto* format : {"yyyy/M/d", "yyyy-M-d"}) {
            const QDate d = QDate::fromString(t, QString::fromLatin1(format));
            if (d.isValid())
                return d.toString(QStringLiteral("MM月dd"));
        }
        return header.text;
    }
    default:
        return defaultText(header);
    }
}

float addPoints(const Cell& current, const QString& points) {
    const float had = static_cast<float>(leadingNumber(defaultText(current)));
    const float add = static_cast<float>(leadingNumber(points));
    return had + add;
}

double storedScore(float score) {
    if (!std::isfinite(score))
        return static_cast<double>(score);
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, score);
    double value = static_cast<double>(score);
    std::from_chars(buf, res.ptr, value);
    return value;
}

int studentRow(const QString& key, int rosterCount, const NumberReader& numberAt) {
    if (key.isEmpty() || rosterCount < 1)
        return 0;
    const int first = rollbook::kFirstStudentRow;
    const int last = first + rosterCount - 1;
    const double number = leadingNumber(key);
    if (number == std::floor(number) && number + 2 >= first && number + 2 <= last) {
        const int row = static_cast<int>(number) + 2;
        if (defaultText(numberAt(row)) == key)
            return row;
    }
    for (int row = first; row <= last; ++row)
        if (defaultText(numberAt(row)) == key)
            return row;
    return 0;
}

void writeGrouping(const CellTable2& roster, int16_t count, const CellWriter& write) {
    for (int i = 1; i <= count; ++i) {
        const int row = add16(i, rollbook::kFirstStudentRow - 1);
        write(row, rollbook::kGroupColumn, roster.at(i, 2));
        write(row, rollbook::kMemberColumn, roster.at(i, 3));
    }
}

} // namespace rostrel::scoring
