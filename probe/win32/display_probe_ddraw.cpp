// The display probe on Windows: one DirectDraw object, asked for the video
// memory and then the modes, on a worker thread that the program starts
// before it builds its dialog, so that DirectDraw (under Wine: Direct3D and
// a GL context) comes up meanwhile; without the worker, at the first probe
// call. ddraw.dll is loaded at run time, so a system without it runs the
// program with the failure answers, and never unloaded (Wine's copy pins
// itself when it loads).
#include <windows.h>

#include <ddraw.h>

#include "probe/display_probe.h"
#include "probe/win32/ddraw_probe.h"

namespace {

// IID_IDirectDraw4, defined here so that dxguid need not be linked.
constexpr GUID kIID_IDirectDraw4 = {
    0x9c59509a, 0x39bd, 0x11d1, {0x8c, 0x4a, 0x00, 0xc0, 0x4f, 0xd9, 0x30, 0xc5}};

typedef HRESULT(WINAPI* DirectDrawCreateFn)(GUID*, LPDIRECTDRAW*, IUnknown*);

// How long the program waits, once, for the worker: with a driver that hangs
// the dialog opens with the failure answers.
constexpr DWORD kAnswerWaitMs = 5000;

struct Answers {
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

// Written by the worker, read once it has ended.
Answers g_answers;
HANDLE g_hWorker = nullptr;
bool g_bStarted = false;
bool g_bWaited = false;    // the one wait for the answers is over
bool g_bAnswered = false;  // g_answers holds them

DWORD WINAPI Ask(LPVOID) {
    Answers& answers = g_answers;
    const HMODULE hDDraw = ::LoadLibraryW(L"ddraw.dll");
    // Through void (*)(), the generic function pointer type, without a warning.
    const auto create = reinterpret_cast<DirectDrawCreateFn>(reinterpret_cast<void (*)()>(
        hDDraw != nullptr ? ::GetProcAddress(hDDraw, "DirectDrawCreate") : nullptr));
    LPDIRECTDRAW dd = nullptr;
    if (create == nullptr || FAILED(create(nullptr, &dd, nullptr))) {
        return 0;
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
    return 0;
}

// The answers: the worker's, waited for once (the failure answers when it
// has not ended in time); without a worker, asked here and now, once.
Answers TheAnswers() {
    if (!g_bStarted) {
        g_bStarted = g_bWaited = g_bAnswered = true;
        Ask(nullptr);
    }
    if (!g_bWaited) {
        g_bWaited = true;
        g_bAnswered = ::WaitForSingleObject(g_hWorker, kAnswerWaitMs) == WAIT_OBJECT_0;
    }
    return g_bAnswered ? g_answers : Answers();
}

}  // namespace

void StartDisplayProbe() {
    if (!g_bStarted) {
        g_bStarted = true;
        g_hWorker = ::CreateThread(nullptr, 0, Ask, nullptr, 0, nullptr);
        if (g_hWorker == nullptr) {
            g_bWaited = g_bAnswered = true;
            Ask(nullptr);  // no thread to spare: here and now
        }
    }
}

bool DisplayProbeEnded() {
    return g_hWorker == nullptr || ::WaitForSingleObject(g_hWorker, 0) == WAIT_OBJECT_0;
}

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
