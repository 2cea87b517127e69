// The display probe on Windows: one DirectDraw object, asked on the calling
// thread at the first probe call for the video memory and then the modes;
// later calls get the same answers. ddraw.dll is loaded at run time, so a
// system without it runs the program with the failure answers, and never
// unloaded (Wine's copy pins itself when it loads).
#include <windows.h>

#include <ddraw.h>

#include "probe/display_probe.h"

namespace {

// IID_IDirectDraw4, defined here so that dxguid need not be linked.
constexpr GUID kIID_IDirectDraw4 = {
    0x9c59509a, 0x39bd, 0x11d1, {0x8c, 0x4a, 0x00, 0xc0, 0x4f, 0xd9, 0x30, 0xc5}};

typedef HRESULT(WINAPI* DirectDrawCreateFn)(GUID*, LPDIRECTDRAW*, IUnknown*);

struct Answers {
    BOOL bAsked = FALSE;
    BOOL bMemory = FALSE;  // GetAvailableVidMem answered
    DWORD dwTotal = 0;
    DWORD dwFree = 0;
    BOOL bModes = FALSE;  // the display modes could be searched
    BOOL bHas1024Wide = FALSE;
};

HRESULT WINAPI EnumModesCallback(LPDDSURFACEDESC2 desc, LPVOID context) {
    if (desc->dwWidth == 1024) {
        *static_cast<BOOL*>(context) = TRUE;
        return DDENUMRET_CANCEL;
    }
    return DDENUMRET_OK;
}

Answers Ask() {
    Answers answers;
    answers.bAsked = TRUE;
    const HMODULE hDDraw = ::LoadLibraryW(L"ddraw.dll");
    // Through void (*)(), the generic function pointer type, without a warning.
    const auto create = reinterpret_cast<DirectDrawCreateFn>(reinterpret_cast<void (*)()>(
        hDDraw != nullptr ? ::GetProcAddress(hDDraw, "DirectDrawCreate") : nullptr));
    LPDIRECTDRAW dd = nullptr;
    if (create == nullptr || FAILED(create(nullptr, &dd, nullptr))) {
        return answers;
    }
    LPDIRECTDRAW4 dd4 = nullptr;
    if (SUCCEEDED(dd->QueryInterface(kIID_IDirectDraw4, reinterpret_cast<void**>(&dd4)))) {
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_VIDEOMEMORY;
        answers.bMemory =
            SUCCEEDED(dd4->GetAvailableVidMem(&caps, &answers.dwTotal, &answers.dwFree)) ? TRUE
                                                                                         : FALSE;
        dd4->EnumDisplayModes(0, nullptr, &answers.bHas1024Wide, EnumModesCallback);
        answers.bModes = TRUE;
        dd4->Release();
    }
    dd->Release();
    return answers;
}

// Under Wine each DirectDraw object brings up Direct3D, and with a GL driver
// a GL context: the first call asks, and the answers are kept.
Answers TheAnswers() {
    static Answers answers;
    if (!answers.bAsked) {
        answers = Ask();
    }
    return answers;
}

}  // namespace

BOOL GetTotalVideoMemory(std::uint32_t* pTotal, std::uint32_t* pFree) {
    const Answers answers = TheAnswers();
    *pTotal = answers.bMemory ? answers.dwTotal : 0;
    *pFree = answers.bMemory ? answers.dwFree : 0;
    return answers.bMemory;
}

BOOL EnumerateDisplayModes() {
    const Answers answers = TheAnswers();
    if (answers.bHas1024Wide) {
        g_bHas1024WideMode = TRUE;
    }
    return answers.bModes;
}
