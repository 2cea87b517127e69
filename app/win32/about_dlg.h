// The About box, opened from the settings dialog's system menu or context menu.
#pragma once

#include "app/win32/afx.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    DECLARE_MESSAGE_MAP()
};
