// The dialog templates and strings of zarv_settings.rc as plain data (no Qt,
// no Windows headers), generated from the resource script at build time by
// scripts/rc-tables.py: the Linux program builds its windows from them, and
// the Windows tests compare the compiled resources against them.
#pragma once

#include <cstdint>
#include <span>

// Languages as Windows numbers them.
inline constexpr int kLanguageChinesePrc = 0x0804;
inline constexpr int kLanguageChineseTaiwan = 0x0404;

enum class ControlKind {
    kDefPushButton,
    kPushButton,
    kAutoRadioButton,
    kAutoCheckBox,
    kGroupBox,
    kIcon,
    kText,
};

struct ControlTemplate {
    int id;  // IDC_STATIC for a control without a number
    ControlKind kind;
    const char* text;         // UTF-8; empty for an icon
    int icon;                 // an icon control's icon resource, else 0
    int x, y, cx, cy;         // dialog units
    std::uint16_t typeStyle;  // the style's low word: type and flags of the class
    bool group;               // WS_GROUP: starts a new group
    bool tabStop;             // WS_TABSTOP
};

struct DialogTemplate {
    int id;
    int language;
    std::uint32_t style;  // with DS_SETFONT, as compiled
    std::uint32_t exStyle;
    int cx, cy;  // dialog units
    const char* caption;
    const char* font;
    int pointSize;
    std::span<const ControlTemplate> controls;  // in tab order
};

struct StringTemplate {
    int id;
    int language;
    const char* text;
};

// Every dialog template and string of the resource script, in its order.
std::span<const DialogTemplate> DialogTemplates();
std::span<const StringTemplate> StringTemplates();

// The template `id` in `language`; nullptr when there is none.
inline const DialogTemplate* FindDialogTemplate(int id, int language) {
    for (const DialogTemplate& dialog : DialogTemplates()) {
        if (dialog.id == id && dialog.language == language) {
            return &dialog;
        }
    }
    return nullptr;
}

// The string `id` in `language`; nullptr when there is none.
inline const char* FindString(int id, int language) {
    for (const StringTemplate& string : StringTemplates()) {
        if (string.id == id && string.language == language) {
            return string.text;
        }
    }
    return nullptr;
}
