// The dialog templates as compiled into the program: every control with its
// class, text, position, group and tab stop, in tab order, in both languages.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/app/win32/dialog_template.h"

namespace {

// Reads a DIALOG or DIALOGEX template.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : m_p(data), m_start(data) {}

    Dialog Read() {
        Dialog dialog;
        const bool extended = Word() == 1 && Word() == 0xFFFF;
        if (extended) {
            Dword();  // help id
            dialog.exStyle = Dword();
            dialog.style = Dword();
        } else {
            m_p = m_start;
            dialog.style = Dword();
            dialog.exStyle = Dword();
        }
        const int count = Word();
        dialog.x = Short(), dialog.y = Short(), dialog.cx = Short(), dialog.cy = Short();
        SzOrOrd();  // menu
        SzOrOrd();  // class
        dialog.caption = SzOrOrd();
        if (dialog.style & DS_SETFONT) {
            dialog.pointSize = Word();
            if (extended) {
                Word();    // weight
                m_p += 2;  // italic, charset
            }
            dialog.font = SzOrOrd();
        }
        for (int i = 0; i < count; ++i) {
            Align();
            Control control{};
            DWORD style = 0;
            if (extended) {
                Dword();  // help id
                Dword();  // ex style
                style = Dword();
            } else {
                style = Dword();
                Dword();  // ex style
            }
            control.x = Short(), control.y = Short(), control.cx = Short(), control.cy = Short();
            control.id = extended ? static_cast<int>(Dword()) : static_cast<short>(Word());
            control.kind = ClassName(SzOrOrd());
            control.text = SzOrOrd();
            m_p += Word();  // creation data
            control.style = style & (0xFFFF | WS_GROUP | WS_TABSTOP);
            dialog.controls.push_back(control);
        }
        return dialog;
    }

private:
    WORD Word() {
        WORD value;
        std::memcpy(&value, m_p, 2);
        m_p += 2;
        return value;
    }
    short Short() { return static_cast<short>(Word()); }
    DWORD Dword() {
        const DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    void Align() {
        while ((m_p - m_start) % 4 != 0) ++m_p;
    }
    std::wstring SzOrOrd() {
        const WORD first = Word();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
        std::wstring text;
        for (WORD c = first; c != 0; c = Word()) text += static_cast<wchar_t>(c);
        return text;
    }

    // The predefined classes are named or given by ordinal; both mean the same.
    static std::wstring ClassName(std::wstring kind) {
        if (kind == L"#128") return L"button";
        if (kind == L"#130") return L"static";
        for (wchar_t& c : kind) c = static_cast<wchar_t>(std::towlower(c));
        return kind;
    }

    const BYTE* m_p;
    const BYTE* m_start;
};

}  // namespace

Dialog LoadTemplate(int id, LANGID language) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC resource = ::FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */,
                                             MAKEINTRESOURCEW(id), language);
    if (resource == nullptr) return {};
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, resource)));
    return TemplateReader(data).Read();
}

namespace {

const std::wstring kButton = L"button";
const std::wstring kStatic = L"static";
constexpr DWORD kAutoRadio = BS_AUTORADIOBUTTON;
constexpr DWORD kAutoCheck = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr LANGID kPrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr LANGID kTaiwan = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);

std::vector<Control> PrcControls() {
    return {
        {IDOK, kButton, BS_DEFPUSHBUTTON | WS_TABSTOP, L"确定[&Y]", 31, 158, 50, 14},
        {IDCANCEL, kButton, BS_PUSHBUTTON | WS_TABSTOP, L"取消[&C]", 105, 158, 50, 14},
        {1003, kButton, kAutoRadio | WS_GROUP, L"16位", 14, 56, 32, 10},
        {1004, kButton, kAutoRadio, L"32位", 50, 56, 32, 10},
        {-1, kButton, BS_GROUPBOX, L"颜色", 7, 44, 79, 28},
        {-1, kButton, BS_GROUPBOX, L"音乐音效", 37, 7, 142, 28},
        {1005, kButton, kAutoCheck, L"音效开关", 45, 19, 48, 10},
        {1006, kButton, kAutoCheck, L"音乐开关", 118, 19, 48, 10},
        {-1, kStatic, SS_ICON, L"#128", 9, 11, 21, 21},
        {-1, kButton, BS_GROUPBOX, L"垂直同步", 7, 82, 79, 28},
        {1008, kButton, kAutoRadio | WS_GROUP, L"开", 14, 94, 24, 10},
        {1009, kButton, kAutoRadio, L"关", 50, 94, 24, 10},
        {1012, kButton, kAutoCheck, L"动态模糊", 118, 94, 48, 10},
        {-1, kButton, BS_GROUPBOX, L"特效", 101, 82, 78, 28},
        {1013, kButton, kAutoCheck, L"软件光标", 118, 56, 48, 10},
        {-1, kButton, BS_GROUPBOX, L"鼠标", 101, 44, 78, 28},
        {-1, kButton, BS_GROUPBOX, L"分辨率", 7, 120, 172, 30},
        {1014, kButton, kAutoRadio | WS_GROUP, L"800 x 600", 14, 132, 69, 12},
        {1015, kButton, kAutoRadio, L"1024 x 768", 118, 133, 56, 10},
    };
}

void ExpectControls(const std::vector<Control>& actual, const std::vector<Control>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("control " + std::to_string(i));
        const Control& a = actual[i];
        const Control& e = expected[i];
        EXPECT_EQ(a.id, e.id);
        EXPECT_EQ(a.kind, e.kind);
        EXPECT_EQ(a.style, e.style);
        EXPECT_EQ(a.text, e.text);
        EXPECT_EQ((std::vector<short>{a.x, a.y, a.cx, a.cy}),
                  (std::vector<short>{e.x, e.y, e.cx, e.cy}));
    }
}

constexpr DWORD kSettingsStyle =
    DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION;

TEST(DialogTemplates, SettingsDialogInChinesePrc) {
    const Dialog dialog = LoadTemplate(IDD_SETTINGS_DIALOG, kPrc);
    EXPECT_EQ(dialog.caption, L"环境配置");
    EXPECT_EQ(dialog.style, kSettingsStyle);  // no system menu, minimize or maximize box
    EXPECT_EQ(dialog.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(dialog.font, L"宋体");
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.cx, 186);
    EXPECT_EQ(dialog.cy, 179);
    ExpectControls(dialog.controls, PrcControls());
}

TEST(DialogTemplates, SettingsDialogInChineseTaiwan) {
    std::vector<Control> expected = PrcControls();
    const wchar_t* texts[] = {L"確定[&Y]", L"取消[&C]", L"16位",      L"32位",      L"色彩",
                              L"音樂音效", L"音效開關", L"音樂開關",  L"#128",      L"垂直同步",
                              L"開",       L"關",       L"動態模糊",  L"特效",      L"軟體鼠標",
                              L"滑鼠",     L"解析度",   L"800 x 600", L"1024 x 768"};
    for (size_t i = 0; i < expected.size(); ++i) expected[i].text = texts[i];
    expected[0].y = expected[1].y = 157;
    expected[8].x = 10, expected[8].y = 12, expected[8].cx = 20, expected[8].cy = 20;
    expected[16].y = 121, expected[16].cy = 27;
    expected[17].cx = 52, expected[17].cy = 9;
    expected[18].cx = 48, expected[18].cy = 8;

    const Dialog dialog = LoadTemplate(IDD_SETTINGS_DIALOG, kTaiwan);
    EXPECT_EQ(dialog.caption, L"設定程式");
    EXPECT_EQ(dialog.style, kSettingsStyle);
    EXPECT_EQ(dialog.font, L"宋体");
    EXPECT_EQ(dialog.cx, 186);
    EXPECT_EQ(dialog.cy, 178);
    ExpectControls(dialog.controls, expected);
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<LANGID>*>(found)->push_back(language);
    return TRUE;
}

TEST(DialogTemplates, SettingsDialogOnlyInTheTwoChineseLanguages) {
    // A neutral copy would be chosen in every locale.
    std::vector<LANGID> languages;
    ::EnumResourceLanguagesW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(5),
                             MAKEINTRESOURCEW(IDD_SETTINGS_DIALOG), CollectLanguage,
                             reinterpret_cast<LONG_PTR>(&languages));
    std::sort(languages.begin(), languages.end());
    EXPECT_EQ(languages, (std::vector<LANGID>{1028, 2052}));
}

TEST(DialogTemplates, AboutBox) {
    const Dialog dialog = LoadTemplate(IDD_ABOUTBOX, kPrc);
    EXPECT_EQ(dialog.caption, L"settings");
    EXPECT_EQ(dialog.style,
              static_cast<DWORD>(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(dialog.font, L"宋体");
    EXPECT_EQ(dialog.cx, 235);
    EXPECT_EQ(dialog.cy, 55);
    ASSERT_EQ(dialog.controls.size(), 4u);
    ExpectControls(
        {dialog.controls[0], dialog.controls[1], dialog.controls[3]},
        {{-1, kStatic, SS_ICON, L"#128", 11, 13, 20, 20},
         {-1, kStatic, SS_LEFT | SS_NOPREFIX | WS_GROUP, L"zarv_settings 1.0 版", 40, 10, 119, 8},
         {IDOK, kButton, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, L"&OK", 178, 7, 50, 14}});
    EXPECT_EQ(dialog.controls[2].style & WS_GROUP, static_cast<DWORD>(WS_GROUP));
    EXPECT_EQ((std::vector<short>{dialog.controls[2].x, dialog.controls[2].y}),
              (std::vector<short>{40, 25}));
}

TEST(Resources, StringIconsAndVersion) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    wchar_t text[64] = {};
    ASSERT_GT(::LoadStringW(module, IDS_ABOUTBOX, text, 64), 0);
    EXPECT_STREQ(text, L"settings(&A)...");

    // One 32 x 32 image each: 256 colours for the window icon, 24-bit for the picture.
    struct {
        int id;
        WORD bits;
    } icons[] = {{IDI_WINDOW, 8}, {IDI_PICTURE, 24}};
    for (const auto& icon : icons) {
        const HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(icon.id),
                                            MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
        ASSERT_NE(group, nullptr) << icon.id;
        const auto* dir = static_cast<const BYTE*>(::LockResource(::LoadResource(module, group)));
        WORD count, bits;
        std::memcpy(&count, dir + 4, 2);
        std::memcpy(&bits, dir + 6 + 6, 2);
        EXPECT_EQ(count, 1) << icon.id;
        EXPECT_EQ(dir[6], 32) << icon.id;
        EXPECT_EQ(dir[7], 32) << icon.id;
        EXPECT_EQ(bits, icon.bits) << icon.id;
    }

    wchar_t path[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::vector<BYTE> version(::GetFileVersionInfoSizeW(path, nullptr));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(::GetFileVersionInfoW(path, 0, static_cast<DWORD>(version.size()), version.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"InternalName", L"zarv_settings"},
        {L"OriginalFilename", L"zarv_settings.EXE"},
        {L"ProductName", L"zarv_settings 应用程序"},
        {L"FileVersion", L"1, 0, 0, 1"},
    };
    for (const auto& [name, expected] : strings) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
        ASSERT_TRUE(::VerQueryValueW(version.data(), query.c_str(),
                                     reinterpret_cast<void**>(&value), &length));
        EXPECT_STREQ(value, expected);
    }
}

}  // namespace
