#include "rollcall/PickEngine.h"

#include "platform/Values.h"

#include <QHashFunctions>
#include <cmath>

namespace rostrel::rollcall {

int16_t drawRow(float r, int count) {
    if (count < 1)
        return 0;
    long long k = static_cast<long long>(std::floor(static_cast<double>(r) * count + 1.0));
    if (k < 1)
        k = 1;
    if (k > count)
        k = count;
    return static_cast<int16_t>(k);
}

namespace {

bool keyEquals(const Cell& cell, const QString& key) {
    if (cell.kind == Cell::Kind::Text)
        return cell.text == key;
    if (cell.kind == Cell::Kind::Error)
        return false;
    return defaultText(cell) == key;
}

} // namespace

bool removePoolRow(CellTable2& pool, int16_t& poolCount, int row, const CellTable2& roster, int rosterCount) {
    if (row < 1 || row > poolCount || poolCount > pool.lastRow() || pool.lastCol() < 2)
        return false;
    if (poolCount == 1 && rosterCount > 0 && (pool.lastRow() < rosterCount || roster.lastRow() < rosterCount))
        throw std::out_of_range("pool cannot hold the roster");
    for (int i = row; i < poolCount; ++i)
        for (int c = 0; c <= 2; ++c)
            pool.at(i, c) = std::move(pool.at(i + 1, c));
    for (int c = 0; c <= 2; ++c)
        pool.at(poolCount, c) = Cell::fromText(QString());
    --poolCount;
    if (poolCount == 0 && rosterCount > 0) {
        for (int i = 1; i <= rosterCount; ++i) {
            pool.at(i, 0) = Cell::fromNumber(i);
            pool.at(i, 1) = roster.at(i, 0);
            pool.at(i, 2) = Cell::fromNumber(i + 2);
        }
        poolCount = static_cast<int16_t>(rosterCount);
    }
    return true;
}

int16_t pickedPoolRow(const CellTable2& pool, int poolCount, int pickIndex, const QString& key) {
    const int live = std::min(poolCount, pool.lastRow());
    if (live < 1 || pool.lastCol() < 1)
        return 0;
    if (pickIndex >= 1 && pickIndex <= live && keyEquals(pool.at(pickIndex, 1), key))
        return static_cast<int16_t>(pickIndex);
    for (int i = 1; i <= live; ++i)
        if (keyEquals(pool.at(i, 1), key))
            return static_cast<int16_t>(i);
    return 0;
}

void GroupKeyIndex::rebuild(const CellTable3& table) {
    keys_.clear();
    positions_.clear();
    hashes_.clear();
    valid_ = true;
    if (!table.allocated() || table.last1() < 1) {
        slots_.assign(1, 0);
        return;
    }
    const size_t capacity = static_cast<size_t>(table.last0()) * static_cast<size_t>(table.last1());
    size_t size = 16;
    while (size < capacity * 2)
        size *= 2;
    slots_.assign(size, 0);
    keys_.reserve(capacity);
    positions_.reserve(capacity);
    hashes_.reserve(capacity);
    const size_t mask = size - 1;
    for (int g = 1; g <= table.last0(); ++g) {
        const Cell& countCell = table.at(g, 0, 0);
        if (countCell.kind == Cell::Kind::Error)
            continue;
        const double count = cellNumber(countCell);
        const int last = count >= table.last1() ? table.last1() : (count > 0 ? static_cast<int>(count) : 0);
        for (int j = 1; j <= last; ++j) {
            const Cell& cell = table.at(g, j, 0);
            if (cell.kind == Cell::Kind::Error)
                continue;
            QString key = defaultText(cell);
            const size_t hash = qHash(key);
            size_t slot = hash & mask;
            bool seen = false;
            while (slots_[slot] != 0) {
                const size_t i = slots_[slot] - 1;
                if (hashes_[i] == hash && keys_[i] == key) {
                    seen = true; // an earlier member has the key: the first match stays
                    break;
                }
                slot = (slot + 1) & mask;
            }
            if (seen)
                continue;
            keys_.push_back(std::move(key));
            positions_.push_back(Position{g, j});
            hashes_.push_back(hash);
            slots_[slot] = static_cast<uint32_t>(keys_.size());
        }
    }
}

GroupKeyIndex::Position GroupKeyIndex::find(const CellTable3& table, int groupCount, const QString& key) {
    if (!valid_)
        rebuild(table);
    const size_t hash = qHash(key);
    const size_t mask = slots_.size() - 1;
    for (size_t slot = hash & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
        const size_t i = slots_[slot] - 1;
        if (hashes_[i] == hash && keys_[i] == key)
            return positions_[i].group <= groupCount ? positions_[i] : Position{};
    }
    return {};
}

} // namespace rostrel::rollcall
