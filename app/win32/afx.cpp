#include "app/win32/afx.h"

#include <commctrl.h>
#include <mbctype.h>

// CString, CMenu

BOOL CString::LoadString(UINT nID) {
    wchar_t buffer[256];
    const int length = ::LoadStringW(AfxGetResourceHandle(), nID, buffer, 256);
    m_str.assign(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return length > 0;
}

BOOL CMenu::CreatePopupMenu() {
    m_hMenu = ::CreatePopupMenu();
    return m_hMenu != nullptr;
}

BOOL CMenu::DestroyMenu() {
    const BOOL bDestroyed = ::DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    return bDestroyed;
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd) const {
    return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, pWnd->m_hWnd, nullptr);
}

// CWnd

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

CWnd* CWnd::GetDlgItem(int nID) {
    const HWND hWndItem = ::GetDlgItem(m_hWnd, nID);
    if (hWndItem == nullptr) {
        return nullptr;
    }
    if (!m_pItem) {
        m_pItem = std::make_unique<CWnd>();
    }
    m_pItem->m_hWnd = hWndItem;
    return m_pItem.get();
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) {
    m_sysMenu.m_hMenu = ::GetSystemMenu(m_hWnd, bRevert);
    return m_sysMenu.m_hMenu != nullptr ? &m_sysMenu : nullptr;
}

void CWnd::GetWindowText(CString& rString) const {
    wchar_t buffer[256];
    ::GetWindowTextW(m_hWnd, buffer, 256);
    rString = buffer;
}

void CWnd::Default() {
    if (m_pbDefaultPending != nullptr) {
        *m_pbDefaultPending = true;
    }
}

HCURSOR CWnd::OnQueryDragIcon() {
    Default();
    return nullptr;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{.nMessage = 0}};
    static const AFX_MSGMAP messageMap = {nullptr, &entries[0]};
    return &messageMap;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nMessage != 0; ++entry) {
            if (entry->nMessage != message) {
                continue;
            }
            bool bDefaultPending = false;
            bool* const pbOuter = m_pbDefaultPending;
            m_pbDefaultPending = &bDefaultPending;
            *pResult = 0;
            if (entry->pfn_vv != nullptr) {
                (this->*entry->pfn_vv)();
            } else if (entry->pfn_vwl != nullptr) {
                (this->*entry->pfn_vwl)(static_cast<UINT>(wParam), lParam);
            } else if (entry->pfn_hv != nullptr) {
                *pResult = reinterpret_cast<LRESULT>((this->*entry->pfn_hv)());
            } else if (entry->pfn_vWp != nullptr) {
                CWnd wnd;  // the message's window, for the handler's call only
                wnd.m_hWnd = reinterpret_cast<HWND>(wParam);
                (this->*entry->pfn_vWp)(&wnd, CPoint(static_cast<short>(LOWORD(lParam)),
                                                     static_cast<short>(HIWORD(lParam))));
            }
            m_pbDefaultPending = pbOuter;
            return !bDefaultPending;
        }
    }
    return FALSE;
}

// CDialog

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    // Without a parent the owner is the application's main window, else the
    // active window: a dialog over the main window keeps it disabled meanwhile.
    HWND hWndParent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
    if (hWndParent == nullptr) {
        const CWnd* pMainWnd = AfxGetApp() != nullptr ? AfxGetApp()->m_pMainWnd : nullptr;
        hWndParent = pMainWnd != nullptr && pMainWnd != this ? pMainWnd->m_hWnd : nullptr;
    }
    if (hWndParent == nullptr) {
        hWndParent = ::GetActiveWindow();
    }
    // The system picks the template's language from the user's settings.
    return ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), hWndParent,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) {
        return;
    }
    EndDialog(IDOK);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        dialog->m_hWnd = hWnd;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    if (dialog == nullptr) {
        return FALSE;  // messages before WM_INITDIALOG
    }
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDOK) {
                dialog->OnOK();
                return TRUE;
            }
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL) {
                dialog->OnCancel();
                return TRUE;
            }
            return FALSE;
        case WM_NCDESTROY:
            dialog->m_hWnd = nullptr;
            return FALSE;
        default: {
            LRESULT result = 0;
            if (!dialog->OnWndMsg(message, wParam, lParam, &result)) {
                return FALSE;
            }
            // A few messages return their result directly; the rest through DWLP_MSGRESULT.
            if (message == WM_QUERYDRAGICON) {
                return static_cast<INT_PTR>(result);
            }
            ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }
}

// DDX

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
    const HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = ::SendMessageW(hWndCtrl, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    } else {
        ::SendMessageW(hWndCtrl, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = -1;
    }
    int index = 0;
    do {
        if ((::SendMessageW(hWndCtrl, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0) {
            if (pDX->m_bSaveAndValidate) {
                if (::SendMessageW(hWndCtrl, BM_GETCHECK, 0, 0) != BST_UNCHECKED) {
                    value = index;
                }
            } else {
                ::SendMessageW(hWndCtrl, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED,
                               0);
            }
            ++index;
        }
        hWndCtrl = ::GetWindow(hWndCtrl, GW_HWNDNEXT);
    } while (hWndCtrl != nullptr && (::GetWindowLongW(hWndCtrl, GWL_STYLE) & WS_GROUP) == 0);
}

// CWinApp

CWinApp* CWinApp::s_pApp = nullptr;

HICON CWinApp::LoadIcon(UINT nIDResource) const {
    return ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDResource));
}

CWinApp* AfxGetApp() { return CWinApp::s_pApp; }

HINSTANCE AfxGetResourceHandle() { return ::GetModuleHandleW(nullptr); }

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    if (app != nullptr && !app->InitApplication()) {
        return app->ExitInstance();
    }
    // Byte strings are in the system's ANSI code page.
    _setmbcp(_MB_CP_ANSI);
    // The manifest asks for Common Controls 6; Windows XP registers their
    // window classes only once the program has loaded that library.
    ::InitCommonControls();
    // No message loop of its own: the application ends when InitInstance returns.
    if (app == nullptr) {
        return 0;
    }
    app->InitInstance();
    return app->ExitInstance();
}
