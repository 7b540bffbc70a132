#include "numbers/NumberList.h"

#include "platform/Values.h"

#include <QSet>
#include <cmath>
#include <unordered_set>

namespace rostrel::numbers {

std::optional<Range> readRange(int category, const QString& text0, const QString& text1, int index) {
    if (!isNumber(index == 0 ? text0 : text1))
        return std::nullopt;
    const double a = leadingNumber(text0);
    const double b = leadingNumber(text1);
    if (!(b > a))
        return std::nullopt;
    Range r;
    try {
        r.first = toInt16(a);
        r.second = toInt16(b);
    } catch (const OverflowError&) {
        return std::nullopt;
    }
    long long count = 0;
    if (category == kSeatCategory)
        count = (r.first > 0 && r.second > 0) ? static_cast<long long>(r.first) * r.second : 0;
    else
        count = static_cast<long long>(r.second) - r.first + 1;
    if (count > kMaxEntries)
        return std::nullopt;
    return r;
}

QStringList rangeEntries(int category, Range range) {
    QStringList out;
    if (category == kSeatCategory) {
        if (range.first < 1 || range.second < 1)
            return out;
        out.reserve(range.first * range.second);
        for (int r = 1; r <= range.first; ++r) {
            const QString row = plainText(r) + u'-';
            for (int c = 1; c <= range.second; ++c)
                out.append(row + plainText(c));
        }
        return out;
    }
    out.reserve(range.second - range.first + 1);
    for (int v = range.first; v <= range.second; ++v)
        out.append(plainText(v));
    return out;
}

namespace {

QStringList customPieces(const QString& text) {
    QString t = text;
    t.replace(QChar(0xFF0C), u',');
    t.remove(u' ');
    return t.split(u',');
}

// "r-c" with r and c in 1..32767, written in digits; the seat text without leading zeros.
std::optional<QString> seatOf(const QString& piece) {
    const qsizetype dash = piece.indexOf(u'-');
    if (dash <= 0 || dash == piece.size() - 1)
        return std::nullopt;
    const auto part = [](QStringView s) -> int {
        if (s.size() > 12)
            return 0;
        long long v = 0;
        for (QChar c : s) {
            if (c < u'0' || c > u'9')
                return 0;
            v = v * 10 + (c.unicode() - u'0');
        }
        return v >= 1 && v <= 32767 ? static_cast<int>(v) : 0;
    };
    const int r = part(QStringView(piece).left(dash));
    const int c = part(QStringView(piece).mid(dash + 1));
    if (r == 0 || c == 0)
        return std::nullopt;
    return plainText(r) + u'-' + plainText(c);
}

} // namespace

std::optional<QStringList> customAdditions(int category, const QStringList& existing, const QString& text) {
    QStringList added;
    if (category == kSeatCategory) {
        QSet<QString> seen(existing.begin(), existing.end());
        for (const QString& piece : customPieces(text)) {
            const auto seat = seatOf(piece);
            if (!seat || seen.contains(*seat))
                continue;
            seen.insert(*seat);
            added.append(*seat);
        }
    } else {
        std::unordered_set<double> seen;
        seen.reserve(static_cast<size_t>(existing.size()) * 2 + 16);
        for (const QString& e : existing)
            seen.insert(leadingNumber(e));
        for (const QString& piece : customPieces(text)) {
            const double x = leadingNumber(piece);
            if (!(x > 0) || !std::isfinite(x) || seen.count(x))
                continue;
            seen.insert(x);
            added.append(numberText(x));
        }
    }
    if (existing.size() + added.size() > kMaxEntries)
        return std::nullopt;
    return added;
}

void loadNumberTables(SessionState& st, const QStringList& entries) {
    if (entries.size() > kMaxEntries)
        throw OverflowError();
    const int n = static_cast<int>(entries.size());
    CellTable2 roster(n, 3);
    CellTable2 pool(n, 3);
    for (int i = 1; i <= n; ++i) {
        const Cell key = Cell::fromText(entries[i - 1]);
        roster.at(i, 0) = key;
        pool.at(i, 1) = key;
    }
    st.RosterCount = static_cast<int16_t>(n);
    st.RosterTable = std::move(roster);
    st.PickPool = std::move(pool);
    st.PoolCount = static_cast<int16_t>(n);
}

} // namespace rostrel::numbers
