// Shows the About box alone, for screenshots: under Wine the settings
// dialog has no system menu to open it from.
#include "app/win32/about_dlg.h"

CWinApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CAboutDlg dlg;
    dlg.DoModal();
    return 0;
}
