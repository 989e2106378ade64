// entry.cpp - the libFuzzer entry point of one harness, chosen when it is
// built (FUZZ_HARNESS); a broken property stops the fuzzer like a crash.
#include <cstdio>
#include <cstdlib>

#include "checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzHarness* harness = FindFuzzHarness(FUZZ_HARNESS);
    if (!harness) abort();
    const std::string problem = harness->check(data, size);
    if (!problem.empty()) {
        fprintf(stderr, "%s: %s\n", harness->name, problem.c_str());
        abort();
    }
    return 0;
}
