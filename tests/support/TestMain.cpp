// Test entry: a QApplication on the offscreen platform, then GoogleTest.
#include <QApplication>
#include <gtest/gtest.h>

// The one leak inside a library that the program cannot free: libgsf loses the directory entries
// of a broken OLE2 directory in gsf_infile_msole_new (tests/data/workbook/fuzz-broken-directory.xls).
// GLib and libgsf have no frame pointers, so only the slow unwinder sees that function above
// g_malloc; ten frames reach it. Built in, so every way of running a test binary uses them.
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0:malloc_context_size=10";
}

extern "C" const char* __lsan_default_suppressions() {
    return "leak:gsf_infile_msole_new\n";
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
