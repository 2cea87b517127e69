#include "app/win32/settings_app.h"

#include "app/win32/settings_dlg.h"
#include "app/win32/start_folder.h"
#include "probe/win32/ddraw_probe.h"

BOOL CSettingsApp::InitInstance() {
    // DirectDraw comes up on the probe's thread while the dialog is built.
    StartDisplayProbe();
    AfxEnableControlContainer();
    Enable3dControls();

    CSettingsDlg dlg;
    m_pMainWnd = &dlg;
    // Before the dialog reads the current folder, which later changes of
    // folder would make another than the one the process was started in.
    CString strFolder;
    if (!IsStartFolder(strFolder)) {
        dlg.EndInWrongFolder(strFolder);
    }
    m_nExitCode = dlg.DoModal() == IDABORT ? 1 : 0;
    m_pMainWnd = nullptr;
    EndDisplayProbe();

    // FALSE: end the application instead of entering a message loop.
    return FALSE;
}

// The one application object.
CSettingsApp theApp;
