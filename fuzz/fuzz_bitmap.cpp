// libFuzzer entry for fuzz_bitmap.
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_bitmap(data, size);
    return 0;
}
