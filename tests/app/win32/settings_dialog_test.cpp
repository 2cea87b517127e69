// The real settings dialog, opened from the real resources and driven with
// window messages while its modal loop runs; the probe is the stand-in.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/win32/settings_dlg.h"
#include "res/dialog_tables.h"
#include "res/resource.h"
#include "tests/app/win32/dialog_template.h"
#include "tests/support/fake_probe.h"
#include "tests/support/test_files.h"

// The dialog loads its icon through the application object.
CWinApp testApp;

namespace {

// Runs `script` on the dialog of this thread once its modal loop is running.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(HWND)> script) : m_script(std::move(script)) {
        s_current = this;
        ::SetTimer(nullptr, 0, 10, &DialogDriver::OnTimer);
    }
    ~DialogDriver() { s_current = nullptr; }
    bool ran() const { return m_ran; }

    // The enabled, visible dialog window of this thread.
    static HWND FindDialog() {
        HWND found = nullptr;
        ::EnumThreadWindows(::GetCurrentThreadId(), &DialogDriver::IsDialog,
                            reinterpret_cast<LPARAM>(&found));
        return found;
    }

private:
    static BOOL CALLBACK IsDialog(HWND hWnd, LPARAM lParam) {
        wchar_t name[16] = {};
        ::GetClassNameW(hWnd, name, 16);
        if (std::wstring(name) == L"#32770" && ::IsWindowVisible(hWnd) && ::IsWindowEnabled(hWnd)) {
            *reinterpret_cast<HWND*>(lParam) = hWnd;
            return FALSE;
        }
        return TRUE;
    }

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
        DialogDriver* self = s_current;
        const HWND dialog = FindDialog();
        if (self == nullptr || dialog == nullptr || self->m_ran) return;
        ::KillTimer(nullptr, id);
        self->m_ran = true;
        self->m_script(dialog);
    }

    static inline DialogDriver* s_current = nullptr;
    std::function<void(HWND)> m_script;
    bool m_ran = false;
};

std::wstring Text(HWND hWnd) {
    wchar_t text[256] = {};
    ::GetWindowTextW(hWnd, text, 256);
    return text;
}

// The language of the template this locale should show:
// ZARV_EXPECT_CAPTION=zh_TW for the Taiwan template, the PRC one otherwise.
LANGID ExpectedLanguage() {
    const char* language = std::getenv("ZARV_EXPECT_CAPTION");
    return language != nullptr && std::string(language) == "zh_TW" ? kLanguageChineseTaiwan
                                                                   : kLanguageChinesePrc;
}

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Which of the numbered controls are checked.
std::vector<int> Checked(HWND dialog) {
    std::vector<int> ids;
    for (int id : {IDC_COLOR_16, IDC_COLOR_32, IDC_SOUND, IDC_MUSIC, IDC_VSYNC_ON, IDC_VSYNC_OFF,
                   IDC_MOTION_BLUR, IDC_SOFT_CURSOR, IDC_RES_800X600, IDC_RES_1024X768}) {
        if (::IsDlgButtonChecked(dialog, id) == BST_CHECKED) ids.push_back(id);
    }
    return ids;
}

// The form's members in their order, to compare in one line.
std::vector<int> FormValues(const SettingsForm& form) {
    return {form.m_bMusic,      form.m_nColorDepth, form.m_bSound,     form.m_nVSync,
            form.m_bMotionBlur, form.m_bSoftCursor, form.m_nResolution};
}

// 1024 x 768, 16 bit, sync off, music off, sound on, blur, soft cursor.
const std::string kExisting = OnDisk(
    "[display]\ndrivertype=3\nwidth=1024\nheight=768\ncolorbits=16\ndepthbits=24\n"
    "fullscreen=0\nsync=0\n[misc]\nxmusic=1\nxsnd=0\nmotionblur=1\nscursor=1\n"
    "[game]\nlevel=7\n");

class SettingsDialogTest : public ::testing::Test {
protected:
    // Loads the form and opens the dialog as the program does, runs `script`
    // on it, and returns DoModal's result; m_form is then the dialog's form.
    INT_PTR Run(std::function<void(HWND)> script) {
        DialogDriver driver(std::move(script));
        CSettingsDlg dlg;
        SettingsMessage message;
        EXPECT_TRUE(LoadSettings(dlg, message));
        m_dlg = &dlg;
        const INT_PTR result = dlg.DoModal();
        m_dlg = nullptr;
        m_form = dlg;
        EXPECT_TRUE(driver.ran());
        return result;
    }

    ScopedWorkDir m_workDir;
    CSettingsDlg* m_dlg = nullptr;  // while Run runs
    SettingsForm m_form;
};

// Each control shows its form member, and OK takes every control back into it.
TEST_F(SettingsDialogTest, EachControlIsBoundToItsFormMember) {
    ResetFakeProbe({.has1024WideMode = true});
    WriteBytes("config.ini", kExisting);
    const INT_PTR result = Run([&](HWND dialog) {
        EXPECT_EQ(Checked(dialog),
                  (std::vector<int>{IDC_COLOR_16, IDC_SOUND, IDC_VSYNC_OFF, IDC_MOTION_BLUR,
                                    IDC_SOFT_CURSOR, IDC_RES_1024X768}));
        // Any non-zero value checks a check box; an index outside a radio
        // group clears the group.
        m_dlg->m_bMusic = 2;
        m_dlg->m_bSound = -1;
        m_dlg->m_nVSync = 2;
        m_dlg->FormToControls();
        EXPECT_EQ(Checked(dialog),
                  (std::vector<int>{IDC_COLOR_16, IDC_SOUND, IDC_MUSIC, IDC_MOTION_BLUR,
                                    IDC_SOFT_CURSOR, IDC_RES_1024X768}));
        for (const int id : {IDC_MUSIC, IDC_COLOR_32, IDC_VSYNC_ON, IDC_SOFT_CURSOR,
                             IDC_RES_800X600, IDC_SOUND, IDC_MOTION_BLUR}) {
            Click(dialog, id);
        }
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(FormValues(m_form), (std::vector<int>{0, 1, 0, 0, 0, 0, 0}));
}

// The greyed choice has a tooltip over its place on the dialog that says why.
TEST_F(SettingsDialogTest, Without1024WideModeTheChoiceIsDisabledWithItsReason) {
    ResetFakeProbe({.has1024WideMode = false});
    Run([](HWND dialog) {
        const HWND button = ::GetDlgItem(dialog, IDC_RES_1024X768);
        EXPECT_FALSE(::IsWindowEnabled(button));
        const HWND tip = ::FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
        ASSERT_NE(tip, nullptr);
        EXPECT_EQ(::GetWindow(tip, GW_OWNER), dialog);
        wchar_t text[256] = {};
        TTTOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.lpszText = text;
        ASSERT_TRUE(::SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
        EXPECT_EQ(tool.hwnd, dialog);
        RECT place;
        ::GetWindowRect(button, &place);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_TRUE(::EqualRect(&tool.rect, &place));
        EXPECT_EQ(text, Wide(FindString(IDS_NO_1024_MODE, ExpectedLanguage())));
        Click(dialog, IDCANCEL);
    });
}

// Gives new dialogs a system-menu box: Wine, unlike Windows, gives a window
// without one no system menu, so the About entry could not be added.
LRESULT CALLBACK AddSystemMenuBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        if (reinterpret_cast<ULONG_PTR>(create->lpcs->lpszClass) == 0x8002) {  // dialog class
            const HWND hWnd = reinterpret_cast<HWND>(wParam);
            ::SetWindowLongW(hWnd, GWL_STYLE, ::GetWindowLongW(hWnd, GWL_STYLE) | WS_SYSMENU);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(SettingsDialogTest, IconsAndAboutEntry) {
    ResetFakeProbe();
    const HHOOK hook =
        ::SetWindowsHookExW(WH_CBT, AddSystemMenuBox, nullptr, ::GetCurrentThreadId());
    Run([](HWND dialog) {
        const auto big = ::SendMessageW(dialog, WM_GETICON, ICON_BIG, 0);
        EXPECT_NE(big, 0);
        EXPECT_EQ(::SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0), big);
        EXPECT_EQ(::SendMessageW(dialog, WM_QUERYDRAGICON, 0, 0), big);

        const HMENU menu = ::GetSystemMenu(dialog, FALSE);
        EXPECT_NE(menu, nullptr);
        const int count = menu != nullptr ? ::GetMenuItemCount(menu) : 0;
        EXPECT_GE(count, 2);
        if (count >= 2) {
            EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
            wchar_t item[64] = {};
            ::GetMenuStringW(menu, count - 1, item, 64, MF_BYPOSITION);
            EXPECT_EQ(item, Wide(FindString(IDS_ABOUTBOX, ExpectedLanguage())));
            EXPECT_TRUE(::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
        }
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    ::UnhookWindowsHookEx(hook);
}

// Unicode windows: every text reads back as the template has it, whatever
// the locale's code page.
TEST_F(SettingsDialogTest, TextsAreTheTemplatesInAnyLocale) {
    ResetFakeProbe();
    const Dialog dialogTemplate = LoadTemplate(IDD_SETTINGS_DIALOG, ExpectedLanguage());
    ASSERT_FALSE(dialogTemplate.controls.empty());
    const INT_PTR result = Run([&](HWND dialog) {
        EXPECT_EQ(Text(dialog), dialogTemplate.caption);
        HWND child = ::GetWindow(dialog, GW_CHILD);
        for (const Control& control : dialogTemplate.controls) {
            ASSERT_NE(child, nullptr);
            if (control.text.front() != L'#') {  // an icon's ordinal is no text
                EXPECT_EQ(Text(child), control.text);
            }
            child = ::GetWindow(child, GW_HWNDNEXT);
        }
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
