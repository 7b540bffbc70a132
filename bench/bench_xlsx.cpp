// The .xlsx codec against openpyxl on the same file, in the same run:
//   - open big_class.xlsx (3000 students x 46 columns) and read every cell, against openpyxl's
//     read-only mode (CPU time inside Python, without the interpreter's start);
//   - set one cell of big_class.xlsx and build and write the saved file;
//   - read a huge sheet part (ROSTREL_HUGE_XLSX names the file; make one with
//     tools/make_huge_xlsx.py) to measure peak memory with /usr/bin/time -v.
//   bench_xlsx --benchmark_repetitions=7 --benchmark_report_aggregates_only=true
#include "platform/workbook/OoxmlCodec.h"
#include "platform/workbook/Workbook.h"

#include "SaveBench.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

using namespace rostrel::workbook;
using rostrel::bench::fixture;
using rostrel::bench::referenceReaderOutput;

namespace {

FileBytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return FileBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

long readAll(const Codec& codec) {
    long filled = 0;
    for (int s = 1; s <= codec.sheetCount(); ++s)
        codec.forEachCell(s, [&](int, int, const CellValue& v) { filled += !v.isEmpty(); });
    return filled;
}

void BM_BigClassXlsx_OpenReadAll_Codec(benchmark::State& state) {
    const std::string path = fixture("big_class.xlsx");
    long filled = 0;
    for (auto _ : state) {
        OoxmlCodec codec(readFile(path));
        filled = readAll(codec);
        benchmark::DoNotOptimize(filled);
    }
    state.counters["cells"] = static_cast<double>(filled);
}
BENCHMARK(BM_BigClassXlsx_OpenReadAll_Codec)->Unit(benchmark::kMillisecond);

// openpyxl's read-only mode opening `file` and reading every cell value: its CPU time, taken
// inside Python (compare it with the codec's CPU column; wall time varies with the machine's load).
double openpyxlSeconds(const std::string& file, long& filled) {
    const std::string script = "import sys,time,warnings\n"
                               "warnings.simplefilter('ignore')\n"
                               "import openpyxl\n"
                               "t=time.process_time()\n"
                               "b=openpyxl.load_workbook(sys.argv[1],read_only=True,data_only=True)\n"
                               "n=0\n"
                               "for s in b.worksheets:\n"
                               "    for row in s.iter_rows(values_only=True):\n"
                               "        for v in row:\n"
                               "            n+=v is not None\n"
                               "print(time.process_time()-t,n)\n";
    double secs = -1;
    if (std::sscanf(referenceReaderOutput(script, file).c_str(), "%lf %ld", &secs, &filled) != 2)
        secs = -1;
    return secs;
}

void BM_BigClassXlsx_OpenReadAll_OpenpyxlReadOnly(benchmark::State& state) {
    long filled = 0;
    for (auto _ : state) {
        const double s = openpyxlSeconds(fixture("big_class.xlsx"), filled);
        if (s < 0) {
            state.SkipWithError("openpyxl is not available");
            break;
        }
        state.SetIterationTime(s);
    }
    state.counters["cells"] = static_cast<double>(filled);
}
BENCHMARK(BM_BigClassXlsx_OpenReadAll_OpenpyxlReadOnly)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_BigClassXlsx_SetCellAndSave_Engine(benchmark::State& state) {
    rostrel::bench::setCellAndSave(state, "big_class.xlsx");
}
BENCHMARK(BM_BigClassXlsx_SetCellAndSave_Engine)->Unit(benchmark::kMillisecond);

void BM_HugeSheet_Read_Codec(benchmark::State& state) {
    const char* path = std::getenv("ROSTREL_HUGE_XLSX");
    if (!path) {
        state.SkipWithError("set ROSTREL_HUGE_XLSX to a file made by tools/make_huge_xlsx.py");
        return;
    }
    long filled = 0;
    for (auto _ : state) {
        OoxmlCodec codec(readFile(path));
        filled = readAll(codec);
    }
    state.counters["cells"] = static_cast<double>(filled);
}
BENCHMARK(BM_HugeSheet_Read_Codec)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
