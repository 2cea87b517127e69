// Shows the About box alone, for screenshots: no settings dialog behind it
// and no menu to drive.
#include "app/win32/about_dlg.h"

CWinApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CAboutDlg dlg;
    dlg.DoModal();
    return 0;
}
