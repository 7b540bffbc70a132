// The .ods codec against python3-odf on the same file, in the same run:
//   - open big_class.ods (3000 students x 46 columns) and read every cell of every sheet;
//   - set one cell of big_class.ods and save it (the codec stays open, as in the program).
// python3-odf runs in /usr/bin/python3; only its load and read are timed (inside Python), not
// the interpreter's start. Compare the medians: *_Codec against *_PythonOdf.
//   bench_ods --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "platform/workbook/Engine.h"
#include "platform/workbook/OdsCodec.h"
#include "platform/workbook/Workbook.h"

#include "SaveBench.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

using namespace rostrel::workbook;
using rostrel::bench::fixture;
using rostrel::bench::referenceReaderOutput;

namespace {

FileBytes readFile(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray a = f.readAll();
    return FileBytes(a.begin(), a.end());
}

void BM_BigClassOds_OpenReadAll_Codec(benchmark::State& state) {
    const std::string path = fixture("big_class.ods");
    long filled = 0;
    for (auto _ : state) {
        auto codec = openOdsCodec(readFile(path));
        filled = 0;
        for (int s = 1; s <= codec->sheetCount(); ++s)
            codec->forEachCell(s, [&](int, int, const CellValue& v) { filled += !v.isEmpty(); });
        benchmark::DoNotOptimize(filled);
    }
    state.counters["cells"] = static_cast<double>(filled);
}
BENCHMARK(BM_BigClassOds_OpenReadAll_Codec)->Unit(benchmark::kMillisecond);

// python3-odf loading `file` and reading the value of every cell of every table (repeated
// blank runs skipped, not expanded), timed inside Python.
double pythonOdfSeconds(const std::string& file) {
    const std::string script = "import sys,time\n"
                               "from odf.opendocument import load\n"
                               "from odf.table import Table,TableRow,TableCell\n"
                               "from odf.namespaces import OFFICENS\n"
                               "t=time.perf_counter()\n"
                               "d=load(sys.argv[1])\n"
                               "n=0\n"
                               "for tb in d.spreadsheet.getElementsByType(Table):\n"
                               "    for r in tb.getElementsByType(TableRow):\n"
                               "        for c in r.getElementsByType(TableCell):\n"
                               "            v=c.attributes.get((OFFICENS,'value-type'))\n"
                               "            if v=='string': n+=len(str(c))>0\n"
                               "            elif v: n+=c.attributes.get((OFFICENS,'value')) is not None\n"
                               "print(time.perf_counter()-t)\n";
    double secs = -1;
    if (std::sscanf(referenceReaderOutput(script, file).c_str(), "%lf", &secs) != 1)
        secs = -1;
    return secs;
}

void BM_BigClassOds_OpenReadAll_PythonOdf(benchmark::State& state) {
    for (auto _ : state) {
        const double s = pythonOdfSeconds(fixture("big_class.ods"));
        if (s < 0) {
            state.SkipWithError("python3-odf is not available");
            break;
        }
        state.SetIterationTime(s);
    }
}
BENCHMARK(BM_BigClassOds_OpenReadAll_PythonOdf)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_BigClassOds_SetCellAndSave_Engine(benchmark::State& state) {
    rostrel::bench::setCellAndSave(state, "big_class.ods");
}
BENCHMARK(BM_BigClassOds_SetCellAndSave_Engine)->Unit(benchmark::kMillisecond);

} // namespace
