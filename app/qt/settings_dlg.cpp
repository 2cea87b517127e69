#include "app/qt/settings_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QShowEvent>
#include <cstdint>
#include <cstring>

#include "app/qt/about_dlg.h"
#include "app/qt/dialog_controls.h"

namespace {

QAbstractButton* Button(const QDialog& dialog, int id) {
    // Controls inside a group box are its children.
    return dialog.findChild<QAbstractButton*>(QString::number(id));
}

// A check box holds 1 when checked, else 0. Any non-zero value checks it.
void DdxCheck(const QDialog& dialog, bool bSave, int id, std::int32_t& value) {
    QAbstractButton* box = Button(dialog, id);
    if (bSave) {
        value = box->isChecked() ? 1 : 0;
    } else {
        box->setChecked(value != 0);
    }
}

// A radio group holds the index of its checked button, -1 when none is;
// an index outside the group clears every button.
void DdxRadio(const QDialog& dialog, bool bSave, int firstId, std::int32_t& value) {
    QButtonGroup* group = Button(dialog, firstId)->group();
    const QList<QAbstractButton*> buttons = group->buttons();
    if (bSave) {
        value = static_cast<std::int32_t>(buttons.indexOf(group->checkedButton()));
        return;
    }
    // An exclusive group keeps one button checked; release it to clear all.
    group->setExclusive(false);
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        buttons[i]->setChecked(i == value);
    }
    group->setExclusive(true);
}

}  // namespace

CSettingsDlg::CSettingsDlg(DialogLanguage language, QWidget* pParent)
    // Qt names the caption's decorations to X window managers only when a
    // button is allowed: close (which cancels) keeps minimize and maximize off.
    : QDialog(pParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      m_hIcon(ProgramIcon()),
      m_language(language) {
    CreateDialogControls(*this, SettingsDialogTemplate(language), DialogFont(language));
    connect(Button(*this, IDOK), &QAbstractButton::clicked, this, [this] { OnOK(); });
    connect(Button(*this, IDCANCEL), &QAbstractButton::clicked, this, [this] { reject(); });
}

// Before the window maps, as WM_INITDIALOG comes on Windows.
void CSettingsDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CSettingsDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);
    InitializeSettings(*this);
}

void CSettingsDlg::DoDataExchange(bool bSaveAndValidate) {
    for (const FormBinding& binding : kFormBindings) {
        (binding.bRadio ? DdxRadio : DdxCheck)(*this, bSaveAndValidate, binding.nID,
                                               this->*binding.pMember);
    }
}

void CSettingsDlg::FormToControls() { DoDataExchange(false); }

void CSettingsDlg::ControlsToForm() { DoDataExchange(true); }

// A disabled control still shows its tooltip: why it cannot be chosen.
void CSettingsDlg::Enable1024x768(bool enable) {
    QAbstractButton* button = Button(*this, IDC_RES_1024X768);
    button->setEnabled(enable);
    button->setToolTip(enable ? QString() : ResourceString(IDS_NO_1024_MODE, m_language));
}

void CSettingsDlg::EndWithOK() { QDialog::accept(); }

void CSettingsDlg::ShowMessage(const SettingsMessage& message) {
    ShowSettingsMessage(this, m_language, message);
}

// The reason is the C library's text, the folder the player's own path text;
// the button is labelled in the dialog's language, as Windows labels it.
void ShowSettingsMessage(QWidget* owner, DialogLanguage language, const SettingsMessage& message) {
    const QString reason = QString::fromLocal8Bit(std::strerror(static_cast<int>(message.nError)));
    const QString text = ComposeMessage(ResourceString(message.nPrefixID, language),
                                        ResourceString(message.nSentenceID, language), reason,
                                        QDir::toNativeSeparators(QDir::currentPath()));
    QMessageBox box(QMessageBox::Critical, ResourceString(IDS_CAPTION, language), text,
                    QMessageBox::Ok, owner);
    box.setWindowIcon(ProgramIcon());
    box.button(QMessageBox::Ok)->setText(ResourceString(IDS_MESSAGE_OK, language));
    box.exec();
}

void CSettingsDlg::OnOK() { ConfirmSettings(*this, *this); }

// Linux windows have no system menu to extend: the About entry lives in the
// dialog's context menu (right button, Menu key or Shift+F10). Opened from
// the keyboard, the menu starts on its entry, so that Return chooses it.
void CSettingsDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* about = menu.addAction(ResourceString(IDS_ABOUTBOX, m_language));
    if (event->reason() == QContextMenuEvent::Keyboard) {
        menu.setActiveAction(about);
    }
    if (menu.exec(event->globalPos()) == about) {
        OnSysCommand(IDM_ABOUTBOX);
    }
}

// Shift+F10 asks for the context menu as the Menu key does; Qt 6.4 does not
// treat it so. The menu event starts at the focused control and reaches the
// dialog unless a control takes it.
void CSettingsDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QWidget* target = focusWidget() != nullptr ? focusWidget() : this;
        const QPoint pos = target->rect().center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, pos, target->mapToGlobal(pos));
        QApplication::sendEvent(target, &menuEvent);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CSettingsDlg::OnSysCommand(int nID) {
    if (nID == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(this);
        dlgAbout.exec();
    }
}
