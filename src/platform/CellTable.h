// Dynamically sized tables of cell values, indexed from 0, as the session holds its roster,
// pick pool and group plan. Every access is bounds-checked: an index outside the allocated
// bounds is a failure of the action in progress (std::out_of_range), never undefined behaviour.
#pragma once

#include "platform/Values.h"

#include <stdexcept>
#include <vector>

namespace rostrel {

// Indices 0..rows x 0..cols (inclusive upper bounds, as the tables are described).
class CellTable2 {
public:
    CellTable2() = default;
    CellTable2(int lastRow, int lastCol) { allocate(lastRow, lastCol); }

    void allocate(int lastRow, int lastCol) {
        if (lastRow < 0 || lastCol < 0)
            throw std::out_of_range("negative table bound");
        rows_ = lastRow + 1;
        cols_ = lastCol + 1;
        cells_.assign(static_cast<size_t>(rows_) * static_cast<size_t>(cols_), Cell());
    }
    void clear() {
        rows_ = cols_ = 0;
        cells_.clear();
    }
    bool allocated() const { return rows_ > 0; }
    int lastRow() const { return rows_ - 1; }
    int lastCol() const { return cols_ - 1; }

    Cell& at(int r, int c) { return cells_[index(r, c)]; }
    const Cell& at(int r, int c) const { return cells_[index(r, c)]; }

private:
    size_t index(int r, int c) const {
        if (r < 0 || r >= rows_ || c < 0 || c >= cols_)
            throw std::out_of_range("table index out of range");
        return static_cast<size_t>(r) * static_cast<size_t>(cols_) + static_cast<size_t>(c);
    }
    int rows_ = 0;
    int cols_ = 0;
    std::vector<Cell> cells_;
};

// Indices 0..d0 x 0..d1 x 0..d2.
class CellTable3 {
public:
    CellTable3() = default;
    CellTable3(int last0, int last1, int last2) { allocate(last0, last1, last2); }

    void allocate(int last0, int last1, int last2) {
        if (last0 < 0 || last1 < 0 || last2 < 0)
            throw std::out_of_range("negative table bound");
        n0_ = last0 + 1;
        n1_ = last1 + 1;
        n2_ = last2 + 1;
        cells_.assign(static_cast<size_t>(n0_) * static_cast<size_t>(n1_) * static_cast<size_t>(n2_), Cell());
    }
    void clear() {
        n0_ = n1_ = n2_ = 0;
        cells_.clear();
    }
    bool allocated() const { return n0_ > 0; }
    int last0() const { return n0_ - 1; }
    int last1() const { return n1_ - 1; }
    int last2() const { return n2_ - 1; }

    Cell& at(int a, int b, int c) { return cells_[index(a, b, c)]; }
    const Cell& at(int a, int b, int c) const { return cells_[index(a, b, c)]; }

private:
    size_t index(int a, int b, int c) const {
        if (a < 0 || a >= n0_ || b < 0 || b >= n1_ || c < 0 || c >= n2_)
            throw std::out_of_range("table index out of range");
        return (static_cast<size_t>(a) * static_cast<size_t>(n1_) + static_cast<size_t>(b)) * static_cast<size_t>(n2_) +
               static_cast<size_t>(c);
    }
    int n0_ = 0;
    int n1_ = 0;
    int n2_ = 0;
    std::vector<Cell> cells_;
};

} // namespace rostrel
