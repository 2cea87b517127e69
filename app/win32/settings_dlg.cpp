#include "app/win32/settings_dlg.h"

#include "app/win32/about_dlg.h"
#include "res/resource.h"

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
        ShowError(IDS_WRONG_FOLDER, L"");
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
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    PAINTSTRUCT paint;
    const HDC hDC = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    const int x = (rect.Width() - cxIcon + 1) / 2;
    const int y = (rect.Height() - cyIcon + 1) / 2;
    ::DrawIcon(hDC, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
}

HCURSOR CSettingsDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

// The system menu's About entry in a menu of its own: the right button
// anywhere on the dialog, the Menu key or Shift+F10 (then at the centre of
// the focused control).
void CSettingsDlg::OnContextMenu(CWnd*, CPoint point) {
    CString strAboutMenu;
    strAboutMenu.LoadString(IDS_ABOUTBOX);
    CMenu menu;
    if (strAboutMenu.IsEmpty() || !menu.CreatePopupMenu()) {
        return;
    }
    menu.AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
    if (point.x == -1 && point.y == -1) {
        const HWND hFocus = ::GetFocus();
        RECT rect;
        ::GetWindowRect(hFocus != nullptr && ::IsChild(m_hWnd, hFocus) ? hFocus : m_hWnd, &rect);
        point = CPoint((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    const UINT nID = static_cast<UINT>(menu.TrackPopupMenu(
        TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, point.x, point.y, this));
    menu.DestroyMenu();
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

namespace {

constexpr DWORD kSystemText = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr DWORD kFromString = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY;

// The system's text for an error code, preferably in `language`, without
// its line end; the code's number when the system has no text for it.
void ErrorReason(DWORD nError, LANGID language, wchar_t* buffer, DWORD size) {
    DWORD length = ::FormatMessageW(kSystemText, nullptr, nError, language, buffer, size, nullptr);
    if (length == 0) {
        length = ::FormatMessageW(kSystemText, nullptr, nError, 0, buffer, size, nullptr);
    }
    if (length == 0) {
        DWORD_PTR args[] = {nError};
        length = ::FormatMessageW(kFromString, L"%1!lu!", 0, 0, buffer, size,
                                  reinterpret_cast<va_list*>(args));
    }
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n' ||
                          buffer[length - 1] == L' ')) {
        --length;
    }
    buffer[length] = L'\0';
}

}  // namespace

// One sentence in the language of the template shown.
void CSettingsDlg::ShowError(UINT nFormatID, LPCWSTR pszInsert) {
    CString strFormat;
    if (!strFormat.LoadString(AfxGetResourceHandle(), nFormatID, GetTemplateLanguage())) {
        strFormat.LoadString(nFormatID);
    }
    wchar_t text[1024] = {};
    DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(pszInsert)};
    ::FormatMessageW(kFromString, static_cast<LPCWSTR>(strFormat), 0, 0, text, 1024,
                     reinterpret_cast<va_list*>(args));
    CString strCaption;
    GetWindowText(strCaption);
    MessageBox(text, strCaption, MB_OK | MB_ICONERROR);
}

void CSettingsDlg::ShowError(UINT nFormatID, unsigned long nError) {
    wchar_t reason[512];
    ErrorReason(nError, GetTemplateLanguage(), reason, 512);
    ShowError(nFormatID, reason);
}

// The dialog stays open with the player's choices.
void CSettingsDlg::ShowSaveError(unsigned long nError) { ShowError(IDS_SAVE_FAILED, nError); }

// Called from OnInitDialog, before the dialog is shown: it never appears.
void CSettingsDlg::EndWithLoadError(unsigned long nError) {
    ShowError(IDS_LOAD_FAILED, nError);
    EndDialog(IDABORT);
}
