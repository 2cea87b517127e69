#include "app/qt/settings_dlg.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <cstdint>

#include "app/qt/about_dlg.h"
#include "app/qt/dialog_controls.h"

namespace {

QAbstractButton* Button(const QDialog& dialog, int id) {
    return dialog.findChild<QAbstractButton*>(QString::number(id), Qt::FindDirectChildrenOnly);
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
    QButtonGroup* group = RadioGroup(dialog, firstId);
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
    : QDialog(pParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_hIcon(ImageFromFile(QString::fromLatin1(IDI_WINDOW))) {
    CreateDialogControls(*this, SettingsDialogTemplate(language), DialogFont(language));
    connect(Button(*this, 1), &QAbstractButton::clicked, this, [this] { OnOK(); });
    connect(Button(*this, 2), &QAbstractButton::clicked, this, [this] { reject(); });
}

void CSettingsDlg::setVisible(bool visible) {
    if (visible && !m_bInitialized) {
        m_bInitialized = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CSettingsDlg::OnInitDialog() {
    DoDataExchange(false);
    setWindowIcon(m_hIcon);
    InitializeSettings(m_form, *this);
}

void CSettingsDlg::DoDataExchange(bool bSaveAndValidate) {
    DdxCheck(*this, bSaveAndValidate, 1006, m_form.m_bMusic);
    DdxRadio(*this, bSaveAndValidate, 1003, m_form.m_nColorDepth);
    DdxCheck(*this, bSaveAndValidate, 1005, m_form.m_bSound);
    DdxRadio(*this, bSaveAndValidate, 1008, m_form.m_nVSync);
    DdxCheck(*this, bSaveAndValidate, 1012, m_form.m_bMotionBlur);
    DdxCheck(*this, bSaveAndValidate, 1013, m_form.m_bSoftCursor);
    DdxRadio(*this, bSaveAndValidate, 1014, m_form.m_nResolution);
}

void CSettingsDlg::FormToControls() { DoDataExchange(false); }

void CSettingsDlg::ControlsToForm() { DoDataExchange(true); }

void CSettingsDlg::Enable1024x768(bool enable) { Button(*this, 1015)->setEnabled(enable); }

void CSettingsDlg::EndWithOK() { QDialog::accept(); }

// TODO(save-error): the message in the dialog's language with the reason.
void CSettingsDlg::ShowSaveError(unsigned long nError) {
    QMessageBox::critical(this, windowTitle(),
                          QStringLiteral("config.ini: ") + qt_error_string(static_cast<int>(nError)));
}

void CSettingsDlg::OnOK() { ConfirmSettings(m_form, *this); }

// Linux windows have no system menu to extend: the About entry lives in the
// dialog's context menu (right button, Menu key or Shift+F10).
void CSettingsDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromUtf8(IDS_ABOUTBOX));
    if (menu.exec(event->globalPos()) == about) {
        OnSysCommand(IDM_ABOUTBOX);
    }
}

void CSettingsDlg::OnSysCommand(int nID) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(this);
        dlgAbout.exec();
    }
}
