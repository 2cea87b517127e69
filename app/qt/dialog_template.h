// The dialogs of the program: their templates (from the resource script),
// languages, texts and units.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

#include "res/dialog_tables.h"
#include "res/resource.h"

// The settings dialog exists in two languages; the About box only in the first.
enum class DialogLanguage { kChinesePrc, kChineseTaiwan };

// The language of the first Chinese entry of the user's languages (as
// QLocale::system().uiLanguages() lists them, from LANGUAGE, LC_ALL,
// LC_MESSAGES or LANG): Traditional Chinese ones (zh_TW, zh_HK, zh_MO,
// zh_Hant...) get the Taiwan dialog, others, and no Chinese entry, the PRC one.
DialogLanguage DialogLanguageFor(const QStringList& uiLanguages);

// The language's number in the resource tables.
int ResourceLanguage(DialogLanguage language);

const DialogTemplate& SettingsDialogTemplate(DialogLanguage language);
const DialogTemplate& AboutDialogTemplate();

// A string of the resource script in the dialog's language.
QString ResourceString(int id, DialogLanguage language);

// The dialog font: 9 points of the language's CJK face, named by the resources.
QFont DialogFont(DialogLanguage language);

// Dialog units to pixels for one font: a horizontal unit is a quarter of the
// font's average Latin letter width, a vertical unit an eighth of its em.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    QRect ToPixels(const ControlTemplate& control) const;
    QSize ToPixels(const DialogTemplate& dialog) const;
    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }

private:
    int m_baseX;
    int m_baseY;
};
