#include "rollbook/ClassSheet.h"

#include <cmath>
#include <vector>

namespace rostrel::rollbook {

Cell toCell(const workbook::CellValue& v) {
    using K = workbook::CellValue::Kind;
    switch (v.kind) {
    case K::Empty:
        return {};
    case K::Number:
        return Cell::fromNumber(v.number);
    case K::Date:
        return Cell::fromDate(v.number);
    case K::Text:
        return Cell::fromText(QString::fromStdString(v.text));
    case K::Bool:
        return Cell::fromBool(v.boolean);
    case K::Error:
        return Cell::fromError(v.error);
    }
    return {};
}

workbook::CellValue toCellValue(const Cell& c) {
    using K = Cell::Kind;
    switch (c.kind) {
    case K::Empty:
        return workbook::CellValue::empty();
    case K::Number:
        return workbook::CellValue::fromNumber(c.number);
    case K::Date:
        return workbook::CellValue::fromDate(c.number);
    case K::Text:
        return workbook::CellValue::fromText(c.text.toStdString());
    case K::Bool:
        return workbook::CellValue::fromBool(c.boolean);
    case K::Error:
        return workbook::CellValue::fromError(c.error);
    }
    return {};
}

QString trimSpaces(const QString& text) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text[b] == u' ')
        ++b;
    while (e > b && text[e - 1] == u' ')
        --e;
    return text.mid(b, e - b);
}

bool blankAfterTrim(const Cell& cell) {
    if (cell.kind == Cell::Kind::Empty)
        return true;
    return trimSpaces(defaultText(cell)).isEmpty();
}

namespace {

// A whole number in 1..limit written in the cell, or 0.
int seatNumber(const Cell& cell, int limit) {
    double v = 0.0;
    if (cell.kind == Cell::Kind::Number) {
        v = cell.number;
    } else if (cell.kind == Cell::Kind::Text) {
        if (!isNumber(cell.text))
            return 0;
        v = leadingNumber(cell.text);
    } else {
        return 0;
    }
    if (!std::isfinite(v) || v != std::floor(v) || v < 1.0 || v > static_cast<double>(limit))
        return 0;
    return static_cast<int>(v);
}

} // namespace

std::optional<CellTable3> groupsByOwnNumbers(const CellTable2& roster, int16_t count, int16_t groupCount,
                                             int16_t groupSize) {
    if (count < 1 || groupCount < 1 || groupSize < 1)
        return std::nullopt;
    const size_t seats = static_cast<size_t>(groupCount) * static_cast<size_t>(groupSize);
    if (seats < static_cast<size_t>(count))
        return std::nullopt;
    // Roster index sitting in (g, m), 0 when free.
    std::vector<int> seat(seats, 0);
    auto at = [&](int g, int m) -> int& {
        return seat[static_cast<size_t>(g - 1) * static_cast<size_t>(groupSize) + static_cast<size_t>(m - 1)];
    };
    std::vector<int> members(static_cast<size_t>(groupCount) + 1, 0);
    for (int i = 1; i <= count; ++i) {
        const int g = seatNumber(roster.at(i, 2), groupCount);
        const int m = seatNumber(roster.at(i, 3), groupSize);
        if (g == 0 || m == 0 || at(g, m) != 0)
            return std::nullopt;
        at(g, m) = i;
        ++members[static_cast<size_t>(g)];
    }
    // Each group's member numbers must run 1..its size without a gap.
    for (int g = 1; g <= groupCount; ++g)
        for (int m = 1; m <= members[static_cast<size_t>(g)]; ++m)
            if (at(g, m) == 0)
                return std::nullopt;

    CellTable3 table(groupCount, groupSize, 1);
    for (int g = 1; g <= groupCount; ++g) {
        const int n = members[static_cast<size_t>(g)];
        table.at(g, 0, 0) = Cell::fromNumber(n);
        for (int m = 1; m <= n; ++m) {
            const int i = at(g, m);
            table.at(g, m, 0) = roster.at(i, 0);
            table.at(g, m, 1) = roster.at(i, 1);
        }
    }
    return table;
}

CellTable3 storedGroupTable(const CellTable2& roster, int16_t count, int16_t groupCount, int16_t groupSize) {
    if (auto own = groupsByOwnNumbers(roster, count, groupCount, groupSize))
        return std::move(*own);

    // Group by group in row order.
    CellTable3 table(groupCount, groupSize, 1);
    for (int g = 1; g <= groupCount; ++g) {
        int n = groupSize;
        if (g == groupCount)
            n = sub16(count, mul16(sub16(groupCount, 1), groupSize));
        table.at(g, 0, 0) = Cell::fromNumber(n);
        for (int m = 1; m <= n; ++m) {
            const int k = add16(mul16(g - 1, groupSize), m);
            table.at(g, m, 0) = roster.at(k, 0);
            table.at(g, m, 1) = roster.at(k, 1);
        }
    }
    return table;
}

int16_t chooseScoreColumn(const CellReader& read, bool newColumnPerDay, const QString& today) {
    int16_t column = 0;
    while (!defaultText(read(kHeaderRow, add16(column, kFirstScoreColumn))).isEmpty())
        column = add16(column, 1);
    column = add16(column, kFirstScoreColumn - 1);
    if (newColumnPerDay && defaultText(read(kHeaderRow, column)) != today)
        column = add16(column, 1);
    // Column F holds the member numbers: scores start at G.
    if (column < kFirstScoreColumn)
        column = kFirstScoreColumn;
    return column;
}

int16_t fillPickPool(CellTable2& pool, const CellTable2& roster, int16_t count, int16_t scoreColumn,
                     const CellReader& read) {
    int16_t live = 0;
    for (int i = 1; i <= count; ++i) {
        const int row = add16(i, kFirstStudentRow - 1);
        if (blankAfterTrim(read(row, scoreColumn))) {
            live = add16(live, 1);
            pool.at(live, 0) = Cell::fromNumber(i);
            pool.at(live, 1) = roster.at(i, 0);
            pool.at(live, 2) = Cell::fromNumber(row);
        }
    }
    if (live == 0) {
        for (int i = 1; i <= count; ++i) {
            pool.at(i, 0) = Cell::fromNumber(i);
            pool.at(i, 1) = roster.at(i, 0);
            pool.at(i, 2) = Cell::fromNumber(add16(i, kFirstStudentRow - 1));
        }
        live = count;
    }
    return live;
}

} // namespace rostrel::rollbook
