#include "app/win32/settings_app.h"

#include "app/win32/settings_dlg.h"

BOOL CSettingsApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    CSettingsDlg dlg;
    m_pMainWnd = &dlg;
    m_nExitCode = dlg.DoModal() == IDABORT ? 1 : 0;
    m_pMainWnd = nullptr;

    // FALSE: end the application instead of entering a message loop.
    return FALSE;
}

// The one application object.
CSettingsApp theApp;
