#include "tests/support/fake_probe.h"

#include <filesystem>

namespace {

FakeDisplay g_display;
FakeProbeCalls g_calls;

}  // namespace

void ResetFakeProbe(const FakeDisplay& display) {
    g_display = display;
    g_calls = {};
    g_bHas1024WideMode = FALSE;
}

FakeProbeCalls GetFakeProbeCalls() { return g_calls; }

BOOL GetTotalVideoMemory(std::uint32_t* pTotal, std::uint32_t* pFree) {
    ++g_calls.totalVideoMemory;
    *pTotal = 0;
    *pFree = 0;
    if (!g_display.available) {
        return FALSE;
    }
    *pTotal = g_display.totalVideoMemory;
    *pFree = g_display.freeVideoMemory;
    return TRUE;
}

BOOL EnumerateDisplayModes() {
    ++g_calls.displayModes;
    g_calls.fileAtDisplayModes = std::filesystem::exists("config.ini");
    if (!g_display.available) {
        return FALSE;
    }
    if (g_display.has1024WideMode) {
        g_bHas1024WideMode = TRUE;  // set, never cleared, as the real probes do
    }
    return TRUE;
}
