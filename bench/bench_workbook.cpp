// The .xls engine against xlrd on the same files, in the same run:
//   - open big_class.xls (3000 students x 46 columns) and read every cell;
//   - open lo_rollbook.xls and read its 45-student class;
//   - set one cell of big_class.xls and save it (the workbook stays open, as in the program).
// xlrd runs in /usr/bin/python3; only its open and read are timed (inside Python), not the
// interpreter's start. Compare the medians: *_Engine against *_Xlrd.
//   bench_workbook --benchmark_repetitions=7 --benchmark_report_aggregates_only=true
#include "platform/workbook/Workbook.h"

#include "SaveBench.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

using namespace rostrel::workbook;
using rostrel::bench::fixture;
using rostrel::bench::referenceReaderOutput;

namespace {

// Reads rows 1..rows x columns 1..cols of the first sheet; returns how many cells were not empty.
long readAll(Workbook& book, int rows, int cols) {
    long filled = 0;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c)
            filled += !book.cell(r, c).isEmpty();
    return filled;
}

void BM_BigClass_OpenReadAll_Engine(benchmark::State& state) {
    const std::string path = fixture("big_class.xls");
    long filled = 0;
    for (auto _ : state) {
        auto book = openWorkbook(path);
        book->activate(1);
        filled = readAll(*book, 3002, 46);
        benchmark::DoNotOptimize(filled);
    }
    state.counters["cells"] = static_cast<double>(filled);
}
BENCHMARK(BM_BigClass_OpenReadAll_Engine)->Unit(benchmark::kMillisecond);

void BM_LoRollbook_OpenReadClass_Engine(benchmark::State& state) {
    const std::string path = fixture("lo_rollbook.xls");
    for (auto _ : state) {
        auto book = openWorkbook(path);
        book->activate(1);
        benchmark::DoNotOptimize(readAll(*book, 48, 8));
    }
}
BENCHMARK(BM_LoRollbook_OpenReadClass_Engine)->Unit(benchmark::kMicrosecond);

// xlrd opening `file` and reading rows x cols of its first sheet, timed inside Python.
double xlrdSeconds(const std::string& file, int rows, int cols) {
    const std::string script = "import sys,time,xlrd\n"
                               "t=time.perf_counter()\n"
                               "b=xlrd.open_workbook(sys.argv[1])\n"
                               "s=b.sheet_by_index(0)\n"
                               "n=0\n"
                               "for r in range(min(s.nrows," +
                               std::to_string(rows) +
                               ")):\n"
                               "    for c in range(min(s.ncols," +
                               std::to_string(cols) +
                               ")):\n"
                               "        n+=s.cell_type(r,c)!=0 and s.cell_value(r,c) is not None\n"
                               "print(time.perf_counter()-t)\n";
    double secs = -1;
    if (std::sscanf(referenceReaderOutput(script, file).c_str(), "%lf", &secs) != 1)
        secs = -1;
    return secs;
}

void BM_BigClass_OpenReadAll_Xlrd(benchmark::State& state) {
    for (auto _ : state) {
        const double s = xlrdSeconds(fixture("big_class.xls"), 3002, 46);
        if (s < 0) {
            state.SkipWithError("xlrd is not available");
            break;
        }
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_BigClass_OpenReadAll_Xlrd)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LoRollbook_OpenReadClass_Xlrd(benchmark::State& state) {
    for (auto _ : state) {
        const double s = xlrdSeconds(fixture("lo_rollbook.xls"), 48, 8);
        if (s < 0) {
            state.SkipWithError("xlrd is not available");
            break;
        }
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_LoRollbook_OpenReadClass_Xlrd)->UseManualTime()->Iterations(3)->Unit(benchmark::kMicrosecond);

void BM_BigClass_SetCellAndSave_Engine(benchmark::State& state) {
    rostrel::bench::setCellAndSave(state, "big_class.xls");
}
BENCHMARK(BM_BigClass_SetCellAndSave_Engine)->Unit(benchmark::kMillisecond);

} // namespace
