// Builds a dialog's window from its template.
#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QIcon>
#include <QPixmap>

#include "app/qt/dialog_template.h"

// Creates the controls of `tmpl` on `dialog` with `font`: numbered controls
// get their number as object name, radio buttons from a group start form one
// exclusive QButtonGroup (object name "group<first number>") whose checked
// button is the group's one tab stop, the tab order and the order of the
// dialog's children follow the template, icon controls are pictures drawn on
// the dialog, and the window gets the template's caption and size.
void CreateDialogControls(QDialog& dialog, const DialogTemplate& tmpl, const QFont& font);

// The radio group created for the group starting at control `firstId`.
QButtonGroup* RadioGroup(const QDialog& dialog, int firstId);

// The window icon in the sizes window systems draw it at, 16 to 64 pixels
// (IDI_WINDOW is the 32 x 32 one), so that none scales a small one up.
QIcon ProgramIcon();

// An image file read by the reader its name's suffix names, without asking
// every image-format plugin to recognise it (a QPixmap or QIcon made from a
// file name loads each one, a millisecond and 400 KiB at start-up).
QPixmap ImageFromFile(const QString& path);
