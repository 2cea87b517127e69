#include "app/win32/settings_app.h"

#include "app/win32/settings_dlg.h"
#include "res/resource.h"

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

BOOL CSettingsApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    // Told before any window, and then the program ends with status 1: Wine's
    // wrong start folder (nothing read or written), or a config.ini that
    // cannot be read. A failed first-run file is told and the dialog opens.
    CSettingsDlg dlg;
    SettingsMessage message;
    if (RunsInWindowsFolder()) {
        message.nSentenceID = IDS_WRONG_FOLDER;
    }
    const bool loaded = message.nSentenceID == 0 && LoadSettings(dlg, message);
    if (message.nSentenceID != 0) {
        ShowSettingsMessage(nullptr, message);
    }
    if (loaded) {
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    m_nExitCode = loaded ? 0 : 1;
    return FALSE;  // end instead of entering a message loop
}

CSettingsApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return AfxWinMain(); }
