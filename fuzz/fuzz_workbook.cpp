// Feeds arbitrary bytes to the .xls engine as a file.
#include "FuzzEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rostrel::fuzz::exerciseXls(data, size);
    return 0;
}
