// A small dialog-application class library over Win32, with the classic C++
// class library's names and signatures for the parts this program uses.
#pragma once

#include <windows.h>

class CWnd;
struct CDataExchange;

// Message maps: each window class lists the messages it handles. An entry
// holds its handler in the member of its message's signature.
union AFX_PMSG {
    void (CWnd::*pfn_vv)();               // WM_PAINT
    void (CWnd::*pfn_vwl)(UINT, LPARAM);  // WM_SYSCOMMAND
    HCURSOR (CWnd::*pfn_hv)();            // WM_QUERYDRAGICON
    void (CWnd::*pfn_vWp)(CWnd*, POINT);  // WM_CONTEXTMENU
};

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // 0 ends the map
    AFX_PMSG pfn;
};

// Only a class's own map is searched: the base classes here have none.
// clang-format off
#define DECLARE_MESSAGE_MAP() \
protected: \
    const AFX_MSGMAP_ENTRY* GetMessageMap() const override;
#define BEGIN_MESSAGE_MAP(theClass, baseClass) \
    const AFX_MSGMAP_ENTRY* theClass::GetMessageMap() const { \
        typedef theClass ThisClass [[maybe_unused]]; \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP() {0, {}}}; return entries; }
#define AFX_MSG_ENTRY(message, slot, handler) \
    {message, {.slot = static_cast<decltype(AFX_PMSG::slot)>(&ThisClass::handler)}},
#define ON_WM_PAINT() AFX_MSG_ENTRY(WM_PAINT, pfn_vv, OnPaint)
#define ON_WM_SYSCOMMAND() AFX_MSG_ENTRY(WM_SYSCOMMAND, pfn_vwl, OnSysCommand)
#define ON_WM_QUERYDRAGICON() AFX_MSG_ENTRY(WM_QUERYDRAGICON, pfn_hv, OnQueryDragIcon)
#define ON_WM_CONTEXTMENU() AFX_MSG_ENTRY(WM_CONTEXTMENU, pfn_vWp, OnContextMenu)
// clang-format on

class CMenu {
public:
    HMENU m_hMenu = nullptr;
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCWSTR lpszNewItem = nullptr) {
        return ::AppendMenuW(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
    }
};

class CWnd {
public:
    HWND m_hWnd = nullptr;
    virtual ~CWnd() = default;

    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);  // defined after CDataExchange
    HICON SetIcon(HICON hIcon, BOOL bBigIcon) {
        return reinterpret_cast<HICON>(::SendMessageW(
            m_hWnd, WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
    }
    // A temporary object, valid until the next call.
    CMenu* GetSystemMenu(BOOL bRevert) {
        m_sysMenu.m_hMenu = ::GetSystemMenu(m_hWnd, bRevert);
        return m_sysMenu.m_hMenu != nullptr ? &m_sysMenu : nullptr;
    }

    // Message handlers with default processing.
    void OnPaint() { Default(); }
    void OnSysCommand(UINT /*nID*/, LPARAM /*lParam*/) { Default(); }

protected:
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    // Leaves the current message to the window's default processing.
    void Default() { m_bDefault = true; }
    // Runs the message map; FALSE when no entry handled the message.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual const AFX_MSGMAP_ENTRY* GetMessageMap() const { return nullptr; }

private:
    // Whether the message being dispatched asked for default processing;
    // a message dispatched inside another's handler keeps its own.
    bool m_bDefault = false;
    CMenu m_sysMenu;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

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

struct CDataExchange {
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
};

inline BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx{bSaveAndValidate, this};
    DoDataExchange(&dx);
    return TRUE;
}

// A check box holds 1 when checked, else 0. Any non-zero value checks it.
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
// Index of the checked button among the radio buttons of the group that
// starts at nIDC, -1 when none is checked.
void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);

inline HINSTANCE AfxGetResourceHandle() { return ::GetModuleHandleW(nullptr); }

class CWinApp {
public:
    CWinApp() { s_pApp = this; }
    virtual ~CWinApp() { s_pApp = nullptr; }

    virtual BOOL InitInstance() { return TRUE; }
    // The process's exit status, asked once InitInstance has returned.
    virtual int ExitInstance() { return 0; }
    HICON LoadIcon(UINT nIDResource) const {
        return ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDResource));
    }
    // Obsolete: every supported Windows draws controls in 3D.
    BOOL Enable3dControls() { return TRUE; }

    CWnd* m_pMainWnd = nullptr;
    inline static CWinApp* s_pApp = nullptr;  // the one application object
};

inline CWinApp* AfxGetApp() { return CWinApp::s_pApp; }
// No ActiveX controls are hosted: nothing to enable.
inline void AfxEnableControlContainer() {}
// Runs the application object, which must exist.
int AfxWinMain();
