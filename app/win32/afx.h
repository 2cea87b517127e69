// A small dialog-application class library over Win32: the application
// object, windows, modal dialogs from resource templates, message maps and
// dialog data exchange, with the names and signatures of the classic C++
// class library for the parts this program uses.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

class CWnd;
class CDataExchange;

class CPoint : public POINT {
public:
    CPoint(int initX, int initY) : POINT{initX, initY} {}
};

// Message maps: each window class lists the messages it handles. An entry
// holds the handler in the member of its signature; the others stay null.
struct AFX_MSGMAP_ENTRY {
    UINT nMessage = 0;
    void (CWnd::*pfn_vv)() = nullptr;                // WM_PAINT
    void (CWnd::*pfn_vwl)(UINT, LPARAM) = nullptr;   // WM_SYSCOMMAND
    HCURSOR (CWnd::*pfn_hv)() = nullptr;             // WM_QUERYDRAGICON
    void (CWnd::*pfn_vWp)(CWnd*, CPoint) = nullptr;  // WM_CONTEXTMENU
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;  // ends with nMessage 0
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
        typedef theClass ThisClass [[maybe_unused]];                                  \
        typedef baseClass TheBaseClass;                                               \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                         \
    { .nMessage = 0 }                                                                             \
    }                                                                                             \
    ;                                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                           \
    }

#define ON_WM_PAINT() \
    {.nMessage = WM_PAINT, .pfn_vv = static_cast<void (CWnd::*)()>(&ThisClass::OnPaint)},
#define ON_WM_SYSCOMMAND()      \
    {.nMessage = WM_SYSCOMMAND, \
     .pfn_vwl = static_cast<void (CWnd::*)(UINT, LPARAM)>(&ThisClass::OnSysCommand)},
#define ON_WM_QUERYDRAGICON()      \
    {.nMessage = WM_QUERYDRAGICON, \
     .pfn_hv = static_cast<HCURSOR (CWnd::*)()>(&ThisClass::OnQueryDragIcon)},
#define ON_WM_CONTEXTMENU()      \
    {.nMessage = WM_CONTEXTMENU, \
     .pfn_vWp = static_cast<void (CWnd::*)(CWnd*, CPoint)>(&ThisClass::OnContextMenu)},

// A wide string: the windows are Unicode windows.
class CString {
public:
    // The string table entry in the language the system picks for this
    // thread, as it picks a dialog template's.
    BOOL LoadString(UINT nID);
    BOOL IsEmpty() const { return m_str.empty(); }
    CString& operator=(LPCWSTR psz) {
        m_str = psz;
        return *this;
    }
    operator LPCWSTR() const { return m_str.c_str(); }

private:
    std::wstring m_str;
};

// A menu handle; a menu made by CreatePopupMenu is freed by DestroyMenu.
class CMenu {
public:
    HMENU m_hMenu = nullptr;
    BOOL CreatePopupMenu();
    BOOL DestroyMenu();
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr) {
        return ::AppendMenuW(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
    }
    // With TPM_RETURNCMD, the command chosen (0 for none) instead of a
    // WM_COMMAND to pWnd.
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd) const;
};

class CRect : public RECT {
public:
    CRect() : RECT{0, 0, 0, 0} {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

class CWnd {
public:
    HWND m_hWnd = nullptr;

    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd() = default;

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // The returned object is temporary: valid until the next GetDlgItem.
    CWnd* GetDlgItem(int nID);
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    // The returned object is temporary: valid until the next GetSystemMenu.
    CMenu* GetSystemMenu(BOOL bRevert);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    void GetWindowText(CString& rString) const;
    int MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption = nullptr, UINT nType = MB_OK) {
        return ::MessageBoxW(m_hWnd, lpszText, lpszCaption, nType);
    }

    // Message handlers with default processing.
    void OnPaint() { Default(); }
    void OnSysCommand(UINT /*nID*/, LPARAM /*lParam*/) { Default(); }
    HCURSOR OnQueryDragIcon();
    // pWnd: the window clicked; point: the screen position, (-1, -1) when
    // the menu was asked for from the keyboard.
    void OnContextMenu(CWnd* /*pWnd*/, CPoint /*point*/) { Default(); }

protected:
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    // Leaves the current message to the window's default processing.
    void Default();
    // Runs the message map; FALSE when no entry handled the message.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

private:
    // The default-processing flag of the message being dispatched; each
    // dispatch has its own, so a message handled inside another handler
    // (a repaint under a modal box) leaves the outer message's flag alone.
    bool* m_pbDefaultPending = nullptr;
    std::unique_ptr<CWnd> m_pItem;
    CMenu m_sysMenu;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();

protected:
    virtual void OnOK();
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
};

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    HWND PrepareCtrl(int nIDC) const { return ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC); }

    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
};

// A check box holds 1 when checked, else 0. Any non-zero value checks it.
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// Index of the checked button among the radio buttons of the group that
// starts at nIDC, -1 when none is checked.
void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);

class CWinApp {
public:
    CWinApp() { s_pApp = this; }
    virtual ~CWinApp() { s_pApp = nullptr; }
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Called first, before the window system is set up; FALSE ends the
    // application at once.
    virtual BOOL InitApplication() { return TRUE; }
    virtual BOOL InitInstance() { return TRUE; }
    // The process's exit status, asked once InitInstance has returned FALSE.
    virtual int ExitInstance() { return 0; }
    HICON LoadIcon(UINT nIDResource) const;
    // Obsolete: every supported Windows draws controls in 3D.
    BOOL Enable3dControls() { return TRUE; }

    CWnd* m_pMainWnd = nullptr;

private:
    friend CWinApp* AfxGetApp();
    static CWinApp* s_pApp;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetResourceHandle();
// No ActiveX controls are hosted: nothing to enable.
inline void AfxEnableControlContainer() {}
int AfxWinMain();
