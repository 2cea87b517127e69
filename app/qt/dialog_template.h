// The dialogs of the program: their templates (from the resource script),
// languages, texts and units.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

#include "res/dialog_tables.h"
#include "res/resource.h"

// The settings dialog exists in two languages, numbered as the resource
// tables number them; the About box only in the first.
enum class DialogLanguage {
    kChinesePrc = kLanguageChinesePrc,
    kChineseTaiwan = kLanguageChineseTaiwan
};

// The language of the first Chinese entry of the user's languages (as
// QLocale::system().uiLanguages() lists them, from LANGUAGE, LC_ALL,
// LC_MESSAGES or LANG): Traditional Chinese ones (zh_TW, zh_HK, zh_MO,
// zh_Hant...) get the Taiwan dialog, others, and no Chinese entry, the PRC one.
DialogLanguage DialogLanguageFor(const QStringList& uiLanguages);

const DialogTemplate& SettingsDialogTemplate(DialogLanguage language);
const DialogTemplate& AboutDialogTemplate();

// A string of the resource script in the dialog's language.
QString ResourceString(int id, DialogLanguage language);

// The dialog font: 9 points of the language's CJK face, named by the resources.
QFont DialogFont(DialogLanguage language);

// The base units of `font`: its average Latin letter width and its em, in
// pixels. A horizontal dialog unit is a quarter of the first, a vertical one
// an eighth of the second.
QSize DialogBaseUnits(const QFont& font);
// A rectangle in dialog units in pixels, for the font of `base`.
QRect DialogUnitsToPixels(const QRect& units, QSize base);
