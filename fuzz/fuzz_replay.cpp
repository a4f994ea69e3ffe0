// libFuzzer entry for fuzz_replay.
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_replay(data, size);
    return 0;
}
