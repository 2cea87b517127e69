#include "app/win32/settings_dlg.h"

#include <commctrl.h>

#include <string>

#include "app/win32/about_dlg.h"
#include "res/resource.h"

namespace {

// A string in the language the system picks for the dialog template; empty
// for 0.
std::wstring LoadText(UINT nID) {
    wchar_t buffer[256];
    const int length = ::LoadStringW(AfxGetResourceHandle(), nID, buffer, 256);
    return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

}  // namespace

CSettingsDlg::CSettingsDlg(CWnd* pParent) : CDialog(IDD_SETTINGS_DIALOG, pParent) {
    m_hIcon = AfxGetApp()->LoadIcon(IDI_WINDOW);
}

void CSettingsDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    for (const FormBinding& binding : kFormBindings) {
        (binding.bRadio ? DDX_Radio : DDX_Check)(pDX, binding.nID, this->*binding.pMember);
    }
}

BEGIN_MESSAGE_MAP(CSettingsDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_CONTEXTMENU()
END_MESSAGE_MAP()

BOOL CSettingsDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    // The About entry, where the system opens the system menu of a window
    // without a system-menu box; the context menu has it too.
    CMenu* pSysMenu = GetSystemMenu(FALSE);
    const std::wstring strAboutMenu = LoadText(IDS_ABOUTBOX);
    if (pSysMenu != nullptr && !strAboutMenu.empty()) {
        pSysMenu->AppendMenu(MF_SEPARATOR);
        pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu.c_str());
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    InitializeSettings(*this);
    return TRUE;  // the system sets the focus
}

void CSettingsDlg::OnOK() { ConfirmSettings(*this, *this); }

void CSettingsDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

// Minimized, the window shows its icon centred in the icon area.
void CSettingsDlg::OnPaint() {
    if (!::IsIconic(m_hWnd)) {
        CDialog::OnPaint();
        return;
    }
    PAINTSTRUCT paint;
    const HDC hDC = ::BeginPaint(m_hWnd, &paint);
    ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    ::GetClientRect(m_hWnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(hDC, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
}

HCURSOR CSettingsDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

// The system menu's About entry in a menu of its own: the right button
// anywhere on the dialog, the Menu key or Shift+F10 (then at the centre of
// the focused control).
void CSettingsDlg::OnContextMenu(CWnd*, POINT point) {
    const std::wstring strAboutMenu = LoadText(IDS_ABOUTBOX);
    const HMENU hMenu = strAboutMenu.empty() ? nullptr : ::CreatePopupMenu();
    if (hMenu == nullptr) {
        return;
    }
    ::AppendMenuW(hMenu, MF_STRING, IDM_ABOUTBOX, strAboutMenu.c_str());
    if (point.x == -1 && point.y == -1) {
        const HWND hFocus = ::GetFocus();
        RECT rect;
        ::GetWindowRect(hFocus != nullptr && ::IsChild(m_hWnd, hFocus) ? hFocus : m_hWnd, &rect);
        point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }
    // TPM_RETURNCMD: the command chosen (0 for none) instead of a WM_COMMAND.
    const UINT nID =
        static_cast<UINT>(::TrackPopupMenu(hMenu, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                           point.x, point.y, 0, m_hWnd, nullptr));
    ::DestroyMenu(hMenu);
    if (nID == IDM_ABOUTBOX) {
        OnSysCommand(IDM_ABOUTBOX, 0);
    }
}

void CSettingsDlg::FormToControls() { UpdateData(FALSE); }

void CSettingsDlg::ControlsToForm() { UpdateData(TRUE); }

// A disabled control gets no mouse messages: its tooltip is a tool of the
// dialog over the control's rectangle, which the tooltip watches for by
// subclassing the dialog.
void CSettingsDlg::Enable1024x768(bool enable) {
    const HWND hButton = ::GetDlgItem(m_hWnd, IDC_RES_1024X768);
    ::EnableWindow(hButton, enable ? TRUE : FALSE);
    if (enable) {
        return;
    }
    const HWND hTip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0,
                                        0, 0, m_hWnd, nullptr, AfxGetResourceHandle(), nullptr);
    std::wstring text = LoadText(IDS_NO_1024_MODE);
    TTTOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = m_hWnd;
    tool.uId = IDC_RES_1024X768;
    tool.lpszText = text.data();
    ::GetWindowRect(hButton, &tool.rect);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&tool.rect), 2);
    ::SendMessageW(hTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CSettingsDlg::EndWithOK() { CDialog::OnOK(); }

void CSettingsDlg::ShowMessage(const SettingsMessage& message) {
    ShowSettingsMessage(m_hWnd, message);
}

// The reason is the system's text, or the code's number; the folder is the
// current directory's full path.
void ShowSettingsMessage(HWND hOwner, const SettingsMessage& message) {
    wchar_t buffer[256] = {};
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, message.nError, 0, buffer, 256, nullptr);
    if (length == 0) {
        length = static_cast<DWORD>(::wsprintfW(buffer, L"%lu", message.nError));
    }
    while (length > 0 && buffer[length - 1] <= L' ') {
        --length;
    }
    const std::wstring reason(buffer, length);
    std::wstring folder(::GetCurrentDirectoryW(0, nullptr), L'\0');
    const DWORD nFolder = ::GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    folder.resize(nFolder < folder.size() ? nFolder : 0);
    const std::wstring text =
        ComposeMessage(LoadText(static_cast<UINT>(message.nPrefixID)),
                       LoadText(static_cast<UINT>(message.nSentenceID)), reason, folder);
    ::MessageBoxW(hOwner, text.c_str(), LoadText(IDS_CAPTION).c_str(), MB_OK | MB_ICONERROR);
}
