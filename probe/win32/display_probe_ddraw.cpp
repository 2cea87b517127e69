// The display probe on Windows: asks the display driver through DirectDraw.
// One worker thread, started at program start, opens DirectDraw once, asks
// the video memory, then searches the display modes, and releases it. So
// DirectDraw (under Wine: Direct3D and, with a GL driver, a GL context)
// comes up while the dialog template and its controls are built, and its
// answers are there when the dialog needs them.
//
// DirectDraw is asked without a window or a cooperative level, which any
// thread may do: DirectDrawCreate is a plain export, not a COM class, so the
// thread needs no COM apartment. ddraw.dll is loaded at run time, so a
// system without DirectDraw still runs the program and gets the failure
// answers. It is never unloaded: Wine's ddraw.dll pins itself when it loads,
// which keeps Direct3D and the GL driver under it too, and on Windows the
// Direct3D layer under it may keep threads that unloading would pull the
// code from under.
#include <windows.h>

#include <ddraw.h>

#include "probe/display_probe.h"
#include "probe/win32/ddraw_probe.h"

namespace {

// IID_IDirectDraw4, defined here so that dxguid need not be linked.
constexpr GUID kIID_IDirectDraw4 = {
    0x9c59509a, 0x39bd, 0x11d1, {0x8c, 0x4a, 0x00, 0xc0, 0x4f, 0xd9, 0x30, 0xc5}};

typedef HRESULT(WINAPI* DirectDrawCreateFn)(GUID*, LPDIRECTDRAW*, IUnknown*);

// How long a probe function waits for the answers: DirectDraw answers in a
// second where a driver works; one that hangs gets the failure answers.
constexpr DWORD kAnswerWaitMs = 20000;
// How long the program's end waits for the worker to end.
constexpr DWORD kEndWaitMs = 5000;

struct Answers {
    BOOL bMemory = FALSE;  // GetAvailableVidMem answered
    DWORD dwTotal = 0;
    DWORD dwFree = 0;
    BOOL bModes = FALSE;  // the display modes could be searched
    BOOL bHas1024Wide = FALSE;
};

// The worker and its answers, written by the worker before it sets
// hAnswered and read by the probe functions after it is set.
struct Probe {
    HANDLE hThread = nullptr;
    HANDLE hAnswered = nullptr;
    Answers answers;
};
Probe g_probe;

// Opens DirectDraw on the active display driver and asks it for IDirectDraw4;
// on success *ppDD and *ppDD4 are open and must be released by the caller.
BOOL OpenDirectDraw4(HMODULE hDDraw, LPDIRECTDRAW* ppDD, LPDIRECTDRAW4* ppDD4) {
    if (hDDraw == nullptr) {
        return FALSE;
    }
    // Through void (*)(), the generic function pointer type, without a warning.
    const auto create = reinterpret_cast<DirectDrawCreateFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(hDDraw, "DirectDrawCreate")));
    if (create == nullptr || FAILED(create(nullptr, ppDD, nullptr))) {
        return FALSE;
    }
    if (FAILED((*ppDD)->QueryInterface(kIID_IDirectDraw4, reinterpret_cast<void**>(ppDD4)))) {
        (*ppDD)->Release();
        return FALSE;
    }
    return TRUE;
}

HRESULT WINAPI EnumModesCallback(LPDDSURFACEDESC2 desc, LPVOID context) {
    if (desc->dwWidth == 1024) {
        static_cast<Answers*>(context)->bHas1024Wide = TRUE;
        return DDENUMRET_CANCEL;
    }
    return DDENUMRET_OK;
}

// The video memory, then the mode search, on one DirectDraw object.
void Ask(Answers* pAnswers) {
    const HMODULE hDDraw = ::LoadLibraryA("ddraw.dll");
    LPDIRECTDRAW dd = nullptr;
    LPDIRECTDRAW4 dd4 = nullptr;
    if (OpenDirectDraw4(hDDraw, &dd, &dd4)) {
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_VIDEOMEMORY;
        pAnswers->bMemory =
            SUCCEEDED(dd4->GetAvailableVidMem(&caps, &pAnswers->dwTotal, &pAnswers->dwFree))
                ? TRUE
                : FALSE;
        dd4->EnumDisplayModes(0, nullptr, pAnswers, EnumModesCallback);
        pAnswers->bModes = TRUE;
        dd4->Release();
        dd->Release();
    }
    ::SetEvent(g_probe.hAnswered);
}

DWORD WINAPI ProbeThread(LPVOID) {
    Ask(&g_probe.answers);
    return 0;
}

// The answers, once the worker has given them; the failure answers when it
// has not within kAnswerWaitMs.
Answers WaitForAnswers() {
    StartDisplayProbe();
    if (g_probe.hAnswered == nullptr ||
        ::WaitForSingleObject(g_probe.hAnswered, kAnswerWaitMs) != WAIT_OBJECT_0) {
        return {};
    }
    return g_probe.answers;
}

}  // namespace

void StartDisplayProbe() {
    if (g_probe.hAnswered != nullptr) {
        return;
    }
    g_probe.hAnswered = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_probe.hAnswered == nullptr) {
        return;
    }
    g_probe.hThread = ::CreateThread(nullptr, 0, ProbeThread, nullptr, 0, nullptr);
    if (g_probe.hThread == nullptr) {
        Ask(&g_probe.answers);  // no thread: here and now
    }
}

void EndDisplayProbe() {
    if (g_probe.hThread != nullptr &&
        ::WaitForSingleObject(g_probe.hThread, kEndWaitMs) == WAIT_OBJECT_0) {
        ::CloseHandle(g_probe.hThread);
        g_probe.hThread = nullptr;
    }
}

BOOL GetTotalVideoMemory(std::uint32_t* pTotal, std::uint32_t* pFree) {
    const Answers answers = WaitForAnswers();
    *pTotal = answers.bMemory ? answers.dwTotal : 0;
    *pFree = answers.bMemory ? answers.dwFree : 0;
    return answers.bMemory;
}

BOOL EnumerateDisplayModes() {
    const Answers answers = WaitForAnswers();
    if (answers.bHas1024Wide) {
        g_bHas1024WideMode = TRUE;
    }
    return answers.bModes;
}
