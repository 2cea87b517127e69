// The dialog templates and strings as compiled into the program, against the
// tables generated from the same resource script.
#include <windows.h>

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>
#include <tuple>
#include <vector>

#include "res/dialog_tables.h"
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

std::wstring Wide(const char* utf8) {
    std::wstring text(::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), static_cast<int>(text.size()));
    text.pop_back();  // the terminating zero
    return text;
}

namespace {

// The string `id` in `language` as compiled: strings are stored sixteen to
// a block, each with its length first.
std::wstring LoadStringIn(int id, LANGID language) {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC block = ::FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */,
                                          MAKEINTRESOURCEW(id / 16 + 1), language);
    if (block == nullptr) return {};
    const auto* p = static_cast<const WCHAR*>(::LockResource(::LoadResource(module, block)));
    for (int i = 0; i < id % 16; ++i) p += 1 + *p;
    return std::wstring(p + 1, *p);
}

// What the resource compiler makes of a template control.
Control Compiled(const ControlTemplate& control) {
    const bool isStatic = control.kind == ControlKind::kIcon || control.kind == ControlKind::kText;
    return {
        control.id,
        isStatic ? L"static" : L"button",
        control.typeStyle | (control.group ? WS_GROUP : 0u) | (control.tabStop ? WS_TABSTOP : 0u),
        control.icon != 0 ? L"#" + std::to_wstring(control.icon) : Wide(control.text),
        static_cast<short>(control.x),
        static_cast<short>(control.y),
        static_cast<short>(control.cx),
        static_cast<short>(control.cy)};
}

// Every dialog of the resource tables, compiled into the program as the
// tables have it: the Linux program's windows are built from the same tables.
TEST(DialogTemplates, CompiledAsTheTablesHaveThem) {
    for (const DialogTemplate& expected : DialogTemplates()) {
        SCOPED_TRACE(testing::Message() << expected.id << " language " << expected.language);
        const Dialog dialog = LoadTemplate(expected.id, static_cast<LANGID>(expected.language));
        EXPECT_EQ(std::tuple(dialog.caption, dialog.style, dialog.exStyle, dialog.font,
                             dialog.pointSize, int{dialog.cx}, int{dialog.cy}),
                  std::tuple(Wide(expected.caption), expected.style, expected.exStyle,
                             Wide(expected.font), expected.pointSize, expected.cx, expected.cy));
        ASSERT_EQ(dialog.controls.size(), expected.controls.size());
        for (size_t i = 0; i < expected.controls.size(); ++i) {
            SCOPED_TRACE("control " + std::to_string(i));
            const Control& a = dialog.controls[i];
            const Control e = Compiled(expected.controls[i]);
            EXPECT_EQ(std::tie(a.id, a.kind, a.style, a.text, a.x, a.y, a.cx, a.cy),
                      std::tie(e.id, e.kind, e.style, e.text, e.x, e.y, e.cx, e.cy));
        }
    }
    for (const StringTemplate& string : StringTemplates()) {
        EXPECT_EQ(LoadStringIn(string.id, static_cast<LANGID>(string.language)), Wide(string.text))
            << string.id << " language " << string.language;
    }
}

INT_PTR CALLBACK KeepOpen(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

bool Contains(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && inner.right <= outer.right && outer.top <= inner.top &&
           inner.bottom <= outer.bottom;
}

// The room a control's text takes at its font: one line, or for a static
// text the lines it wraps into at the control's width.
RECT TextRect(HWND control, bool isText, bool noPrefix) {
    wchar_t text[256] = {};
    ::GetWindowTextW(control, text, 256);
    RECT client;
    ::GetClientRect(control, &client);
    RECT rect = {0, 0, client.right, 0};
    const HDC dc = ::GetDC(control);
    const HGDIOBJ font =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    ::DrawTextW(
        dc, text, -1, &rect,
        DT_CALCRECT | (isText ? DT_WORDBREAK : DT_SINGLELINE) | (noPrefix ? DT_NOPREFIX : 0));
    ::SelectObject(dc, font);
    ::ReleaseDC(control, dc);
    return rect;
}

// Every dialog as the system lays it out at the screen's DPI (ZARV_DPI, 96
// unless set; scripts/wine-run.sh writes it into the prefix): each text
// inside its control, the pictures at the system's icon size, each control
// inside the dialog and inside any group box it overlaps, no two other
// controls overlapping. The buttons are Common Controls 6 buttons (the
// manifest's), the ones that tell the size their text needs.
TEST(DialogTemplates, AtTheScreensDpiEveryTextStaysInsideItsControl) {
    const char* dpi = std::getenv("ZARV_DPI");
    const HDC screen = ::GetDC(nullptr);
    EXPECT_EQ(::GetDeviceCaps(screen, LOGPIXELSY), dpi != nullptr ? std::atoi(dpi) : 96);
    ::ReleaseDC(nullptr, screen);
    const HMODULE module = ::GetModuleHandleW(nullptr);
    for (const DialogTemplate& expected : DialogTemplates()) {
        SCOPED_TRACE(testing::Message() << expected.id << " language " << expected.language);
        const HRSRC resource =
            ::FindResourceExW(module, MAKEINTRESOURCEW(5) /* RT_DIALOG */,
                              MAKEINTRESOURCEW(expected.id), static_cast<WORD>(expected.language));
        const HWND dialog = ::CreateDialogIndirectParamW(
            module, static_cast<LPCDLGTEMPLATEW>(::LockResource(::LoadResource(module, resource))),
            nullptr, KeepOpen, 0);
        ASSERT_NE(dialog, nullptr);
        RECT client;
        ::GetClientRect(dialog, &client);
        std::vector<RECT> rects;
        HWND child = ::GetWindow(dialog, GW_CHILD);
        for (const ControlTemplate& control : expected.controls) {
            SCOPED_TRACE(control.text);
            ASSERT_NE(child, nullptr);
            RECT rect;
            ::GetWindowRect(child, &rect);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
            rects.push_back(rect);
            EXPECT_TRUE(Contains(client, rect));
            RECT inside;
            ::GetClientRect(child, &inside);
            const bool isText = control.kind == ControlKind::kText;
            RECT need = TextRect(child, isText, isText && (control.typeStyle & SS_NOPREFIX) != 0);
            if (control.kind == ControlKind::kIcon) {
                need = {0, 0, ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON)};
                EXPECT_EQ(inside.right, need.right);
                EXPECT_EQ(inside.bottom, need.bottom);
            } else if (control.kind == ControlKind::kGroupBox) {
                need.right += need.bottom;  // the caption's indent on both sides
            } else if (!isText) {
                // The check mark or the button's edges and margins included.
                SIZE ideal = {};
                EXPECT_TRUE(
                    ::SendMessageW(child, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
                need.right = ideal.cx;
            }
            EXPECT_LE(need.right, inside.right);
            EXPECT_LE(need.bottom, inside.bottom);
            child = ::GetWindow(child, GW_HWNDNEXT);
        }
        for (size_t i = 0; i < rects.size(); ++i) {
            for (size_t j = i + 1; j < rects.size(); ++j) {
                RECT both;
                if (!::IntersectRect(&both, &rects[i], &rects[j])) continue;
                const bool boxI = expected.controls[i].kind == ControlKind::kGroupBox;
                const bool boxJ = expected.controls[j].kind == ControlKind::kGroupBox;
                EXPECT_TRUE(boxI != boxJ &&
                            Contains(boxI ? rects[i] : rects[j], boxI ? rects[j] : rects[i]))
                    << expected.controls[i].text << " overlaps " << expected.controls[j].text;
            }
        }
        ::DestroyWindow(dialog);
    }
}

}  // namespace
