// The yardstick of the Windows start-up benchmark (scripts/bench-startup-win32.sh):
// the settings dialog from the program's own resources (templates, icons,
// font, manifest) shown by a plain DialogBoxParamW, reading and writing
// nothing and asking no display driver. OK, Cancel or Escape ends it.
#include <windows.h>

#include <commctrl.h>

#include "res/resource.h"

namespace {

INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        const HICON hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_WINDOW));
        ::SendMessageW(hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hIcon));
        ::SendMessageW(hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hIcon));
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
