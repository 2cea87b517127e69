// The application object: shows the settings dialog and ends.
#pragma once

#include "app/win32/afx.h"

class CSettingsApp : public CWinApp {
public:
    BOOL InitInstance() override;
    // 1 when config.ini exists but could not be read, or the program runs in
    // the Windows folder; else 0.
    int ExitInstance() override { return m_nExitCode; }

private:
    int m_nExitCode = 0;
};
