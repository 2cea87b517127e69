#include "app/win32/settings_dlg.h"

#include "app/win32/about_dlg.h"
#include "res/resource.h"

namespace {

constexpr DWORD kFromString = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;
constexpr DWORD kSystemText = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// A string in the language of the template shown.
std::wstring LoadText(UINT nID) {
    CString str;
    str.LoadString(nID);
    return static_cast<LPCWSTR>(str);
}

}  // namespace

CSettingsDlg::CSettingsDlg(CWnd* pParent) : CDialog(IDD_SETTINGS_DIALOG, pParent) {
    m_hIcon = AfxGetApp()->LoadIcon(IDI_WINDOW);
}

void CSettingsDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Check(pDX, IDC_MUSIC, m_bMusic);
    DDX_Radio(pDX, IDC_COLOR_16, m_nColorDepth);
    DDX_Check(pDX, IDC_SOUND, m_bSound);
    DDX_Radio(pDX, IDC_VSYNC_ON, m_nVSync);
    DDX_Check(pDX, IDC_MOTION_BLUR, m_bMotionBlur);
    DDX_Check(pDX, IDC_SOFT_CURSOR, m_bSoftCursor);
    DDX_Radio(pDX, IDC_RES_800X600, m_nResolution);
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
    if (pSysMenu != nullptr) {
        CString strAboutMenu;
        strAboutMenu.LoadString(IDS_ABOUTBOX);
        if (!strAboutMenu.IsEmpty()) {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    if (m_bWrongFolder) {
        ShowText(LoadText(IDS_WRONG_FOLDER), L"");
        EndDialog(IDABORT);
        return TRUE;
    }
    InitializeSettings(*this, *this);
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
    CString strAboutMenu;
    strAboutMenu.LoadString(IDS_ABOUTBOX);
    const HMENU hMenu = strAboutMenu.IsEmpty() ? nullptr : ::CreatePopupMenu();
    if (hMenu == nullptr) {
        return;
    }
    ::AppendMenuW(hMenu, MF_STRING, IDM_ABOUTBOX, strAboutMenu);
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

void CSettingsDlg::Enable1024x768(bool enable) {
    GetDlgItem(IDC_RES_1024X768)->EnableWindow(enable ? TRUE : FALSE);
}

void CSettingsDlg::EndWithOK() { CDialog::OnOK(); }

void CSettingsDlg::ShowText(const std::wstring& format, LPCWSTR pszInsert) {
    wchar_t text[1024] = {};
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(pszInsert)};
    ::FormatMessageW(kFromString, format.c_str(), 0, 0, text, 1024,
                     reinterpret_cast<va_list*>(args));
    wchar_t caption[256] = {};
    ::GetWindowTextW(m_hWnd, caption, 256);
    ::MessageBoxW(m_hWnd, text, caption, MB_OK | MB_ICONERROR);
}

// The reason is the system's text, or the code's number.
void CSettingsDlg::ShowMessage(int nPrefixID, int nSentenceID, unsigned long nError) {
    wchar_t reason[256] = {};
    DWORD length = ::FormatMessageW(kSystemText, nullptr, nError, 0, reason, 256, nullptr);
    if (length == 0) {
        DWORD_PTR args[] = {nError};
        ::FormatMessageW(kFromString, L"%1!lu!", 0, 0, reason, 256,
                         reinterpret_cast<va_list*>(args));
    }
    while (length > 0 && reason[length - 1] <= L' ') {
        reason[--length] = L'\0';
    }
    ShowText(LoadText(static_cast<UINT>(nPrefixID)) + LoadText(static_cast<UINT>(nSentenceID)),
             reason);
}
