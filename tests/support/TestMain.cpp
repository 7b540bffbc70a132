// Test entry: a QApplication on the offscreen platform, then GoogleTest.
#include <QApplication>
#include <gtest/gtest.h>

// Leaks inside system libraries that the program cannot free (font setup, GLib's own caches,
// libgsf's parsing of a broken directory). Built in, so every way of running a test binary
// under LeakSanitizer uses them.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n"
           "leak:libglib\n"
           "leak:libgobject\n"
           "leak:libdbus\n";
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
