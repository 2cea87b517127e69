// The display probe on Windows: asks the display driver through DirectDraw.
// ddraw.dll is loaded at run time, so a system without DirectDraw still runs
// the program and gets the failure answers. It is never unloaded: Direct3D
// under it may keep worker threads, and unloading it under them crashes
// (seen with Wine); the second call finds it loaded.
#include <windows.h>

#include <ddraw.h>

#include "probe/display_probe.h"

namespace {

// IID_IDirectDraw4, defined here so that dxguid need not be linked.
constexpr GUID kIID_IDirectDraw4 = {
    0x9c59509a, 0x39bd, 0x11d1, {0x8c, 0x4a, 0x00, 0xc0, 0x4f, 0xd9, 0x30, 0xc5}};

typedef HRESULT(WINAPI* DirectDrawCreateFn)(GUID*, LPDIRECTDRAW*, IUnknown*);

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

HRESULT WINAPI EnumModesCallback(LPDDSURFACEDESC2 desc, LPVOID /*context*/) {
    if (desc->dwWidth == 1024) {
        g_bHas1024WideMode = TRUE;
        return DDENUMRET_CANCEL;
    }
    return DDENUMRET_OK;
}

}  // namespace

BOOL GetTotalVideoMemory(std::uint32_t* pTotal, std::uint32_t* pFree) {
    *pTotal = 0;
    *pFree = 0;
    const HMODULE hDDraw = ::LoadLibraryA("ddraw.dll");
    LPDIRECTDRAW dd = nullptr;
    LPDIRECTDRAW4 dd4 = nullptr;
    BOOL ok = FALSE;
    if (OpenDirectDraw4(hDDraw, &dd, &dd4)) {
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_VIDEOMEMORY;
        DWORD total = 0;
        DWORD free = 0;
        ok = SUCCEEDED(dd4->GetAvailableVidMem(&caps, &total, &free)) ? TRUE : FALSE;
        if (ok) {
            *pTotal = total;
            *pFree = free;
        }
        dd->Release();
        dd4->Release();
    }
    return ok;
}

BOOL EnumerateDisplayModes() {
    const HMODULE hDDraw = ::LoadLibraryA("ddraw.dll");
    LPDIRECTDRAW dd = nullptr;
    LPDIRECTDRAW4 dd4 = nullptr;
    BOOL ok = FALSE;
    if (OpenDirectDraw4(hDDraw, &dd, &dd4)) {
        dd4->EnumDisplayModes(0, nullptr, nullptr, EnumModesCallback);
        dd->Release();
        dd4->Release();
        ok = TRUE;
    }
    return ok;
}
