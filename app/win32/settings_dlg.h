// The settings dialog: its controls are bound to the seven form members, its
// initialisation and OK are the settings logic's, plus the window icon and
// the About entry in the system menu and in the context menu.
#pragma once

#include <string>

#include "app/win32/afx.h"
#include "settings/settings_logic.h"

class CSettingsDlg : public CDialog, public SettingsForm, public SettingsWindow {
public:
    explicit CSettingsDlg(CWnd* pParent = nullptr);

    void FormToControls() override;
    void ControlsToForm() override;
    void Enable1024x768(bool enable) override;
    void EndWithOK() override;
    void ShowMessage(int nPrefixID, int nSentenceID, unsigned long nError) override;
    void EndUnshown() override { EndDialog(IDABORT); }

    // Ends the dialog at open, before anything is read, telling that Wine
    // could not run the program in the folder it was started in.
    void EndInWrongFolder() { m_bWrongFolder = true; }

protected:
    HICON m_hIcon;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnContextMenu(CWnd* pWnd, POINT point);
    // A message box owned by the dialog, with its caption: `format` with
    // `pszInsert` for its %1.
    void ShowText(const std::wstring& format, LPCWSTR pszInsert);

private:
    bool m_bWrongFolder = false;
    DECLARE_MESSAGE_MAP()
};
