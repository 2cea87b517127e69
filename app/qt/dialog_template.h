// The dialog templates of the program as data: controls, texts, positions
// in dialog units, grouping and tab order (the order of the controls).
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <span>

// Resource numbers.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_SETTINGS_DIALOG = 102;
inline constexpr int IDM_ABOUTBOX = 0x0010;
inline constexpr char IDS_ABOUTBOX[] = "settings(&A)...";
inline constexpr char IDI_WINDOW[] = ":/icons/window.png";
inline constexpr char IDI_PICTURE[] = ":/icons/picture.png";

// The settings dialog exists in two languages; the About box only in the first.
enum class DialogLanguage { kChinesePrc, kChineseTaiwan };

// Traditional Chinese locales (zh_TW, zh_HK, zh_MO, zh_Hant...) get the
// Taiwan dialog, every other locale the PRC one. `localeName` is a POSIX
// locale name such as "zh_TW.UTF-8" or "zh_Hant_SG".
DialogLanguage DialogLanguageForLocale(const QString& localeName);

// The language of the user's messages locale (LC_ALL, LC_MESSAGES, LANG).
DialogLanguage DialogLanguageFromEnvironment();

enum class ControlKind {
    kDefPushButton,
    kPushButton,
    kAutoRadioButton,
    kAutoCheckBox,
    kGroupBox,
    kIcon,  // text: the icon's resource path
    kText,
};

struct ControlTemplate {
    int id;  // 0: a control without a number
    ControlKind kind;
    const char* text;  // UTF-8
    QRect rect;        // dialog units
    bool group;        // starts a new group
};

struct DialogTemplate {
    int id;
    const char* caption;  // UTF-8
    QSize size;           // dialog units
    std::span<const ControlTemplate> controls;
};

const DialogTemplate& SettingsDialogTemplate(DialogLanguage language);
const DialogTemplate& AboutDialogTemplate();

// The sentence telling that config.ini could not be saved, in the dialog's
// language, ending in `reason` (the system's text) when there is one.
QString SaveErrorText(DialogLanguage language, const QString& reason);

// The dialog font: 9 points of the CJK face for the language.
QFont DialogFont(DialogLanguage language);

// Dialog units to pixels for one font: a horizontal unit is a quarter of the
// font's average Latin letter width, a vertical unit an eighth of its em.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    QRect ToPixels(const QRect& rect) const;
    QSize ToPixels(const QSize& size) const;
    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }

private:
    int m_baseX;
    int m_baseY;
};
