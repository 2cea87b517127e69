#include "app/win32/afx.h"

#include <utility>  // before <mbctype.h>, whose macros _M1 and _M2 break it

#include <commctrl.h>
#include <mbctype.h>
#include <windowsx.h>

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    const AFX_MSGMAP_ENTRY* entry = GetMessageMap();
    while (entry != nullptr && entry->nMessage != message) {
        entry = entry->nMessage != 0 ? entry + 1 : nullptr;
    }
    if (entry == nullptr) {
        return FALSE;
    }
    const bool bOuterDefault = std::exchange(m_bDefault, false);
    switch (message) {
        case WM_SYSCOMMAND:
            (this->*entry->pfn.pfn_vwl)(static_cast<UINT>(wParam), lParam);
            break;
        case WM_QUERYDRAGICON:
            *pResult = reinterpret_cast<LRESULT>((this->*entry->pfn.pfn_hv)());
            break;
        case WM_CONTEXTMENU: {
            CWnd wnd;  // the window clicked; the point is (-1, -1) from the keyboard
            wnd.m_hWnd = reinterpret_cast<HWND>(wParam);
            (this->*entry->pfn.pfn_vWp)(&wnd, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            break;
        }
        default:
            (this->*entry->pfn.pfn_vv)();
    }
    return !std::exchange(m_bDefault, bOuterDefault);
}

INT_PTR CDialog::DoModal() {
    // The owner: the parent, else the application's main window, else the active window.
    const CWnd* pOwner = m_pParentWnd != nullptr ? m_pParentWnd : AfxGetApp()->m_pMainWnd;
    const HWND hWndOwner =
        pOwner != nullptr && pOwner != this ? pOwner->m_hWnd : ::GetActiveWindow();
    // The system picks the template's language from the user's settings.
    const INT_PTR result =
        ::DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), hWndOwner,
                          &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(TRUE)) {
        EndDialog(IDOK);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        dialog->m_hWnd = hWnd;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    if (dialog != nullptr && message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
        (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        LOWORD(wParam) == IDOK ? dialog->OnOK() : dialog->OnCancel();
        return TRUE;
    }
    LRESULT result = 0;  // no dialog yet: the messages before WM_INITDIALOG
    if (dialog == nullptr || !dialog->OnWndMsg(message, wParam, lParam, &result)) {
        return FALSE;
    }
    // As SetDlgMsgResult: these messages return their result directly, the
    // rest through DWLP_MSGRESULT.
    if ((message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ||
        message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM ||
        message == WM_QUERYDRAGICON) {
        return static_cast<INT_PTR>(result);
    }
    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
    const HWND hWndCtrl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = ::SendMessageW(hWndCtrl, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    } else {
        ::SendMessageW(hWndCtrl, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    }
}

void DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
    HWND hWndCtrl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = -1;
    }
    int index = 0;
    do {
        if ((::SendMessageW(hWndCtrl, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) != 0) {
            if (!pDX->m_bSaveAndValidate) {
                ::SendMessageW(hWndCtrl, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED,
                               0);
            } else if (::SendMessageW(hWndCtrl, BM_GETCHECK, 0, 0) != BST_UNCHECKED) {
                value = index;
            }
            ++index;
        }
        hWndCtrl = ::GetWindow(hWndCtrl, GW_HWNDNEXT);
    } while (hWndCtrl != nullptr && (::GetWindowLongW(hWndCtrl, GWL_STYLE) & WS_GROUP) == 0);
}

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    // Byte strings are in the system's ANSI code page; the manifest asks for
    // Common Controls 6, whose classes XP registers once it is loaded.
    _setmbcp(_MB_CP_ANSI);
    ::InitCommonControls();
    app->InitInstance();  // no message loop of its own: the end follows
    return app->ExitInstance();
}
