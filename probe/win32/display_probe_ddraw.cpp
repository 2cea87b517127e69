// The display probe on Windows: one DirectDraw object, opened at the first
// probe call on the calling thread, asked for the video memory and then the
// modes, and released; the answers serve both calls. ddraw.dll is loaded at
// run time, so a system without it runs the program with the failure
// answers, and never unloaded (Wine's copy pins itself when it loads).
#include <windows.h>

#include <ddraw.h>

#include <utility>

#include "probe/display_probe.h"

namespace {

// IID_IDirectDraw4, defined here so that dxguid need not be linked.
constexpr GUID kIID_IDirectDraw4 = {
    0x9c59509a, 0x39bd, 0x11d1, {0x8c, 0x4a, 0x00, 0xc0, 0x4f, 0xd9, 0x30, 0xc5}};

typedef HRESULT(WINAPI* DirectDrawCreateFn)(GUID*, LPDIRECTDRAW*, IUnknown*);

HRESULT WINAPI EnumModesCallback(LPDDSURFACEDESC2 desc, LPVOID context) {
    if (desc->dwWidth == 1024) {
        *static_cast<BOOL*>(context) = TRUE;
        return DDENUMRET_CANCEL;
    }
    return DDENUMRET_OK;
}

// What DirectDraw answered, asked at the first call; plain members, as only
// the dialog's thread asks.
struct Answers {
    bool bAsked = false;
    BOOL bMemory = FALSE;  // GetAvailableVidMem answered
    DWORD dwTotal = 0;
    DWORD dwFree = 0;
    BOOL bModes = FALSE;  // the display modes could be searched
    BOOL bHas1024Wide = FALSE;
} g_answers;

const Answers& Ask() {
    Answers& a = g_answers;
    if (std::exchange(a.bAsked, true)) {
        return a;
    }
    const HMODULE hDDraw = ::LoadLibraryW(L"ddraw.dll");
    // Through void (*)(), the generic function pointer type, without a warning.
    const auto create = reinterpret_cast<DirectDrawCreateFn>(reinterpret_cast<void (*)()>(
        hDDraw != nullptr ? ::GetProcAddress(hDDraw, "DirectDrawCreate") : nullptr));
    LPDIRECTDRAW dd = nullptr;
    if (create == nullptr || FAILED(create(nullptr, &dd, nullptr))) {
        return a;
    }
    LPDIRECTDRAW4 dd4 = nullptr;
    if (SUCCEEDED(dd->QueryInterface(kIID_IDirectDraw4, reinterpret_cast<void**>(&dd4)))) {
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_VIDEOMEMORY;
        a.bMemory = SUCCEEDED(dd4->GetAvailableVidMem(&caps, &a.dwTotal, &a.dwFree)) ? TRUE : FALSE;
        dd4->EnumDisplayModes(0, nullptr, &a.bHas1024Wide, EnumModesCallback);
        a.bModes = TRUE;
        dd4->Release();
    }
    dd->Release();
    return a;
}

}  // namespace

BOOL GetTotalVideoMemory(std::uint32_t* pTotal, std::uint32_t* pFree) {
    const Answers& answers = Ask();
    *pTotal = answers.bMemory ? answers.dwTotal : 0;
    *pFree = answers.bMemory ? answers.dwFree : 0;
    return answers.bMemory;
}

BOOL EnumerateDisplayModes() {
    const Answers& answers = Ask();
    if (answers.bHas1024Wide) {
        g_bHas1024WideMode = TRUE;
    }
    return answers.bModes;
}
