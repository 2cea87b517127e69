#include "app/win32/settings_app.h"

#include "app/win32/settings_dlg.h"
#include "probe/win32/ddraw_probe.h"

namespace {

// Wine starts a program in the Windows folder when it cannot give the Unix
// folder it was started in a Windows name; the game is never there.
bool RunsInWindowsFolder() {
    wchar_t current[MAX_PATH];
    wchar_t windows[MAX_PATH];
    const DWORD nCurrent = ::GetCurrentDirectoryW(MAX_PATH, current);
    const UINT nWindows = ::GetWindowsDirectoryW(windows, MAX_PATH);
    return nCurrent > 0 && nCurrent < MAX_PATH && nWindows > 0 && nWindows < MAX_PATH &&
           ::lstrcmpiW(current, windows) == 0;
}

}  // namespace

// DirectDraw comes up on the probe's worker while the window system is set
// up and the dialog is built.
BOOL CSettingsApp::InitApplication() {
    StartDisplayProbe();
    return TRUE;
}

BOOL CSettingsApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    CSettingsDlg dlg;
    m_pMainWnd = &dlg;
    if (RunsInWindowsFolder()) {
        dlg.EndInWrongFolder();
    }
    m_nExitCode = dlg.DoModal() == IDABORT ? 1 : 0;
    m_pMainWnd = nullptr;
    // A worker still inside a hung driver may hold locks that the process's
    // ordinary end takes (the loader's): it then ends here, at once.
    if (!DisplayProbeEnded()) {
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(m_nExitCode));
    }

    // FALSE: end the application instead of entering a message loop.
    return FALSE;
}

// The one application object.
CSettingsApp theApp;
