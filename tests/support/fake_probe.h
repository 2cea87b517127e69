// Stand-in display probe for tests: defines GetTotalVideoMemory and
// EnumerateDisplayModes with the answers a test sets, and counts the calls.
#pragma once

#include <cstdint>

#include "probe/display_probe.h"

// The display the stand-in probe reports.
struct FakeDisplay {
    bool available = true;                       // false: both probe calls fail
    std::uint32_t totalVideoMemory = 64u << 20;  // bytes
    std::uint32_t freeVideoMemory = 32u << 20;   // bytes
    bool has1024WideMode = true;                 // a mode exactly 1024 pixels wide
};

struct FakeProbeCalls {
    int totalVideoMemory = 0;         // calls of GetTotalVideoMemory
    int displayModes = 0;             // calls of EnumerateDisplayModes
    bool fileAtDisplayModes = false;  // ./config.ini existed at the last of them
};

// Reports `display` from now on, clears the call counts and g_bHas1024WideMode.
void ResetFakeProbe(const FakeDisplay& display = {});

// The calls since the last reset.
FakeProbeCalls GetFakeProbeCalls();
