#include "app/win32/settings_app.h"

#include "app/win32/settings_dlg.h"
#include "app/win32/start_folder.h"
#include "probe/win32/ddraw_probe.h"

BOOL CSettingsApp::InitApplication() {
    // First of all, while the process has one thread: Wine lists a folder
    // from inside it, changing the Unix working folder meanwhile, and a later
    // change of folder would make the current one another than where the
    // process was started.
    if (IsStartFolder(m_strWrongFolder)) {
        // DirectDraw comes up on the probe's thread while the window system
        // is set up and the dialog is built.
        StartDisplayProbe();
    }
    return TRUE;
}

BOOL CSettingsApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();

    CSettingsDlg dlg;
    m_pMainWnd = &dlg;
    if (!m_strWrongFolder.IsEmpty()) {
        dlg.EndInWrongFolder(m_strWrongFolder);
    }
    m_nExitCode = dlg.DoModal() == IDABORT ? 1 : 0;
    m_pMainWnd = nullptr;
    EndDisplayProbe();

    // FALSE: end the application instead of entering a message loop.
    return FALSE;
}

// The one application object.
CSettingsApp theApp;
