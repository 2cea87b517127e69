// The yardstick of the Windows start-up benchmark (scripts/bench-startup.sh):
// the settings dialog from the program's own resources (templates, icons,
// font, manifest) shown by a plain DialogBoxParamW, asking the display probe
// for the video memory and the modes in WM_INITDIALOG, on the dialog's
// thread, and reading and writing no file. OK, Cancel or Escape ends it.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>

#include "probe/display_probe.h"
#include "res/resource.h"

namespace {

INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        const HICON hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_WINDOW));
        ::SendMessageW(hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hIcon));
        ::SendMessageW(hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hIcon));
        std::uint32_t total = 0;
        std::uint32_t free = 0;
        GetTotalVideoMemory(&total, &free);
        EnumerateDisplayModes();
        ::EnableWindow(::GetDlgItem(hWnd, IDC_RES_1024X768), g_bHas1024WideMode);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(hWnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    ::InitCommonControls();  // as the program: XP's Common Controls 6
    return static_cast<int>(::DialogBoxParamW(hInstance, MAKEINTRESOURCEW(IDD_SETTINGS_DIALOG),
                                              nullptr, DialogProc, 0));
}
