// libFuzzer entry for fuzz_high_scores.
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_high_scores(data, size);
    return 0;
}
